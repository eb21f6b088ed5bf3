#pragma once

// The one way the command thread waits: for a line to read, for room to
// write, for a command's output. A wait ends when the descriptor is ready or
// one of the signals KRVSignals handles arrives, whichever comes first.
//
// Why no signal slips through: a caller asks KRVSignals what arrived, then
// waits. A signal between the two would be slept through by a plain poll or
// read; here its handler has written a byte to the wake pipe, which the wait
// watches beside the descriptor, so the wait returns at once. The byte stays
// until a wait finds it and empties the pipe, just before the caller asks
// again, and every later signal writes a byte after setting its flag. This
// holds on whichever thread a handler runs, and it needs no signal mask, so
// that the other blocking calls of the command thread (opening a script that
// is a FIFO, waiting for a child) keep ending with EINTR as they did. The
// cost is a second descriptor in each poll.
class KRVSignalWait {
public:
    enum Result { kReady, kSignalled, kTimedOut };

    // Until inDescriptor is ready for inEvents (or at its end, or failed), a
    // signal arrives, or inTimeoutMS passes (-1 waits as long as it takes).
    // kSignalled may stand for a signal the caller has already dealt with:
    // it should ask KRVSignals and wait again when there is nothing to do.
    static Result ForDescriptor(int inDescriptor, short inEvents, int inTimeoutMS = -1);

    // What the command thread serves while it waits for a typed line: the
    // keys of a keyboard played in, so that they are taken at once, on this
    // thread, and no other thread touches the sequence for them.
    class Side {
    public:
        // Readable while there is something to serve; -1 for nothing.
        virtual int GetDescriptor() const = 0;
        // When to serve anyway (a deadline of the take); -1 for never.
        virtual int GetTimeoutMS() const = 0;
        virtual void Serve() = 0;

    protected:
        ~Side() = default;
    };
    // At most one side at a time; null for none.
    static void SetSide(Side* inSide);
    static Side* GetSide();
    // Until inDescriptor has a line to read, as ForDescriptor waits for
    // POLLIN, serving the side meanwhile: after a serve it returns
    // kSignalled, and the caller asks KRVSignals and waits again.
    static Result ForLine(int inDescriptor);
};
