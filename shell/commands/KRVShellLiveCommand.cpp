// live: the live view, at the console's terminal only.
#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "commands/KRVCommands.h"
#include "live/KRVLiveView.h"

namespace {

// A live view from inside the live view (`:live`) would draw over itself.
bool sLive = false;

}  // namespace

KRVCommandResult KRVCommands::Live(KRVCommandContext& ioContext, const KRVArguments&) {
    if (ioContext.GetShell().IsReadingScript()) {
        return ioContext.Refuse("live works at the prompt only, not in a script\n");
    }
    if (sLive) {
        return ioContext.Refuse("live view already open\n");
    }
    KRVShellInterface& console = ioContext.GetInterface();
    if (const char* refusal = KRVLiveView::GetRefusal(console.GetTerminal())) {
        return ioContext.Refuse(refusal);
    }
    console.Flush();
    KRVLiveView view(ioContext, console.GetTerminal());
    sLive = true;
    const KRVCommandResult result = view.Run();
    sLive = false;
    return result;
}
