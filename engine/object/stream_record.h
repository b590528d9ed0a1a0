// Copying and freeing the texts a StreamRecord owns.
#pragma once

#include "vantrel/records.h"

namespace MediaBased {

// Every field of source, with each non-null text replaced by a fresh copy. Throws bad_alloc.
StreamRecord CopyStreamRecord(const StreamRecord& source);
void FreeStreamRecordTexts(StreamRecord& record);

// Owns one record and its texts.
class OwnedStreamRecord {
public:
    explicit OwnedStreamRecord(const StreamRecord& source) : record_(CopyStreamRecord(source)) {}
    OwnedStreamRecord(const OwnedStreamRecord&) = delete;
    OwnedStreamRecord& operator=(const OwnedStreamRecord&) = delete;
    ~OwnedStreamRecord() { FreeStreamRecordTexts(record_); }

    StreamRecord& get() { return record_; }
    const StreamRecord& get() const { return record_; }

private:
    StreamRecord record_;
};

}  // namespace MediaBased
