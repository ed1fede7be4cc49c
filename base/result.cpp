#include "base/result.h"

#include "base/number_texts.h"

namespace korvan {

std::string Result::Cause() const {
  switch (kind_) {
    case Kind::Unavailable:
      if (text_ == nullptr) return "comunicação não iniciada";
      return std::string("QXClient.dll não tem ") + text_;
    case Kind::Invalid:
      if (!showInput_) return text_;
      return "'" + std::string(input_) + "' " + text_;
    case Kind::Ok:
    case Kind::Refused:
      break;
  }
  return std::string();
}

Result RefusedWithErrorLine(int32_t code) {
  WriteLog("Error: ", IntegerText(code).view());
  return Result::Refused(code);
}

}  // namespace korvan
