#include "client/bstr.h"

#include <oleauto.h>
#include <vector>
#include <windows.h>

namespace korvan {

AnsiBstr::AnsiBstr(std::string_view text) {
  int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::vector<wchar_t> wide(length > 0 ? length : 1);
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  value_ = SysAllocStringLen(wide.data(), length);  // 0 when the text cannot convert
}

AnsiBstr::~AnsiBstr() { SysFreeString(value_); }

ReturnedBstr::~ReturnedBstr() { SysFreeString(value_); }

}  // namespace korvan
