// A history host that says a tool is in the middle of a mouse operation: what the tests put
// in front of a document to see the commands refused.
#pragma once

#include "history/HistoryHost.h"

namespace zelvo::test {

struct BusyToolHost : HistoryHost {
    bool ToolBusy() override { return true; }
};

}  // namespace zelvo::test
