#pragma once

#include <QByteArray>

#include <optional>

// What the reply receiver needs of its surroundings: the waiting input, a way to
// let the rest of the program run, and the word that time is up.
class ReplySource
{
public:
    virtual ~ReplySource() = default;

    virtual int waitingCount() = 0;
    // Reads and removes up to maxCount waiting characters.
    virtual QByteArray read(int maxCount) = 0;
    // Lets pending events run once. With starved set, nothing can progress until
    // something new happens, so the source may sleep until the next event.
    virtual void yield(bool starved) = 0;
    virtual bool timedOut() = 0;
};

// Hunts for STX one character at a time, dropping anything else, then waits until
// the replyLength - 1 characters after it are all waiting and reads them in one
// go. Time is looked at only after a yield. Returns the body, or nothing when
// time ran out first; characters not yet read stay waiting.
std::optional<QByteArray> receiveReply(ReplySource &source, int replyLength);
