// live: the live view, at the console's terminal only.
#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "commands/KRVCommands.h"
#include "live/KRVLiveView.h"

namespace {

// A live view from inside the live view (`:live`) would draw over itself.
bool sLive = false;

}  // namespace

// What the view's commands say goes to the view rather than the terminal,
// and their questions are asked there, until the view closes.
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
    console.SetOutputDelegate(&view.GetOutput());
    console.SetInputDelegate(&view.GetOutput());
    const KRVCommandResult result = view.Run();
    console.SetOutputDelegate(nullptr);
    console.SetInputDelegate(nullptr);
    sLive = false;
    return result;
}
