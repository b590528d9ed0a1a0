#include "object/stream_record.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace MediaBased {
namespace {

char* DuplicateText(const char* text) {
    if (text == nullptr)
        return nullptr;
    char* copy = ::strdup(text);
    if (copy == nullptr)
        throw std::bad_alloc();
    return copy;
}

}  // namespace

StreamRecord CopyStreamRecord(const StreamRecord& source) {
    StreamRecord copy = source;
    copy.reservedText1 = nullptr;
    copy.codecName = nullptr;
    copy.reservedText2 = nullptr;
    try {
        copy.reservedText1 = DuplicateText(source.reservedText1);
        copy.codecName = DuplicateText(source.codecName);
        copy.reservedText2 = DuplicateText(source.reservedText2);
    } catch (...) {
        FreeStreamRecordTexts(copy);
        throw;
    }
    return copy;
}

void FreeStreamRecordTexts(StreamRecord& record) {
    std::free(record.reservedText1);
    std::free(record.codecName);
    std::free(record.reservedText2);
    record.reservedText1 = record.codecName = record.reservedText2 = nullptr;
}

}  // namespace MediaBased
