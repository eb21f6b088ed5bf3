#pragma once

// All text the shell reads or writes passes through here. Each formatted
// write takes one printf-style format and the fixed argument list its suffix
// names (D int, LD long, LU unsigned long, LF double, S string).
//
// An interface may hand its reading or its writing to a delegate: a script's
// interface writes through the caller's, so script output lands where the
// caller's output goes.
class KRVShellInterface {
public:
    KRVShellInterface() = default;
    virtual ~KRVShellInterface() = default;
    KRVShellInterface(const KRVShellInterface&) = delete;
    KRVShellInterface& operator=(const KRVShellInterface&) = delete;

    // Returns the line's length without its newline, or -1 at end of input.
    virtual int ReadLine(char* inBuffer, int inBufferLength) = 0;
    virtual int Write(const char* inBuffer) = 0;
    virtual int WriteFormattedD(const char* inFormat, int inDecimal) = 0;
    virtual int WriteFormattedDD(const char* inFormat, int inDecimal1, int inDecimal2) = 0;
    virtual int WriteFormattedLD(const char* inFormat, long inDecimal) = 0;
    virtual int WriteFormattedLF(const char* inFormat, double inFloat) = 0;
    virtual int WriteFormattedLU(const char* inFormat, unsigned long inDecimal) = 0;
    virtual int WriteFormattedLUD(const char* inFormat, unsigned long inDecimal1,
                                  int inDecimal2) = 0;
    virtual int WriteFormattedS(const char* inFormat, const char* inString) = 0;
    virtual int WriteFormattedSS(const char* inFormat, const char* inString1,
                                 const char* inString2) = 0;
    virtual int WriteFormattedSD(const char* inFormat, const char* inString, int inDecimal) = 0;

    // A null delegate switches delegation off. Delegates are not owned.
    void SetInputDelegate(KRVShellInterface* inDelegate) { mInputDelegate = inDelegate; }
    void SetOutputDelegate(KRVShellInterface* inDelegate) { mOutputDelegate = inDelegate; }

protected:
    KRVShellInterface* mInputDelegate = nullptr;
    KRVShellInterface* mOutputDelegate = nullptr;
};
