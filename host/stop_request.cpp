#include "stop_request.h"

#include <atomic>
#include <string>

#include <windows.h>

#include "run_ledger.h"

namespace {

std::atomic<const char*> request{nullptr};

// Runs on a thread of its own that the system makes for the event.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    const char* what = event == CTRL_C_EVENT       ? "Ctrl-C (interrupt)"
                       : event == CTRL_BREAK_EVENT ? "Ctrl-Break"
                                                   : "the console closing";
    const char* none = nullptr;
    request.compare_exchange_strong(none, what);
    LedgerLine(std::string("heard\t") + what);
    return TRUE;
}

}  // namespace

void ListenForStopRequests()
{
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    LedgerLine("listening");
}

const char* StopRequest()
{
    return request.load();
}
