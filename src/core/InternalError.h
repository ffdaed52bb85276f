// Consistency failures tell the user "程序内部出现错误! " and a four-digit code, one code per
// place in the code, so a report names the exact check that failed.
#pragma once

#include <string>

namespace zelvo {

std::string InternalErrorText(int code);
void ShowInternalError(int code);

}  // namespace zelvo
