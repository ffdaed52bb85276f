#include "core/InternalError.h"

#include "platform/Messages.h"

namespace zelvo {

std::string InternalErrorText(int code) {
    return "程序内部出现错误! " + std::to_string(code);
}

void ShowInternalError(int code) {
    AppMessages().Show(InternalErrorText(code));
}

}  // namespace zelvo
