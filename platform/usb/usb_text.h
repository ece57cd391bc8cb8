// The platform's wide strings as the host's UTF-8 file names.
#pragma once

#include <string>
#include <string_view>

namespace ce::usb {

std::string ToUtf8(std::wstring_view text);

}  // namespace ce::usb
