#include "base/result.h"

#include "base/number_texts.h"

namespace korvan {

namespace {

struct UntoldDetail {
  const char* text = nullptr;
  std::string_view input;
  bool showInput = false;
};
UntoldDetail untoldDetail;

}  // namespace

Result Result::Unavailable(const char* entryPoint) {
  untoldDetail = UntoldDetail{entryPoint, {}, false};
  return Result(Kind::Unavailable, 0);
}

Result Result::Invalid(const char* why) {
  untoldDetail = UntoldDetail{why, {}, false};
  return Result(Kind::Invalid, 0);
}

Result Result::Invalid(std::string_view input, const char* why) {
  untoldDetail = UntoldDetail{why, input, true};
  return Result(Kind::Invalid, 0);
}

std::string Result::Cause() const {
  const UntoldDetail& detail = untoldDetail;
  switch (kind_) {
    case Kind::Unavailable:
      if (detail.text == nullptr) return "comunicação não iniciada";
      return std::string("QXClient.dll não tem ") + detail.text;
    case Kind::Invalid:
      if (!detail.showInput) return detail.text;
      return "'" + std::string(detail.input) + "' " + detail.text;
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
