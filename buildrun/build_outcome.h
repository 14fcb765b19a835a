// How a build ended, as a value: what the command line's exit status and the
// tests read, rather than the messages shown.
#pragma once

#include <QStringList>

namespace bramlotte::buildrun {

struct BuildOutcome {
    enum class Result {
        Built,          // the output was delivered
        Refused,        // a check refused the request (its message was shown)
        AnsweredNo,     // the user answered No to overwriting field values
        SaveCancelled,  // the save dialog was cancelled: nothing written
        RelateFailed,   // a Layer #2 search could not be opened
        EditFailed,     // field values could not be written
        Failed          // an unexpected failure, reported
    };
    Result result = Result::Built;
    QStringList filesWritten;  // the files the build wrote, in order
};

}  // namespace bramlotte::buildrun
