// How a build ended, as a value, with what it said: a front reports from
// these, never by reading the texts of boxes back.
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
    // What the build said, in order: every box's text (questions and the
    // report of an unexpected failure included), the warnings that did not
    // stop it, and the data source's own words after a failure's box.
    QStringList messages;
    QStringList warnings;
    QStringList details;
    // The error box's description line, after an unexpected failure.
    QString failureDescription;
};

}  // namespace bramlotte::buildrun
