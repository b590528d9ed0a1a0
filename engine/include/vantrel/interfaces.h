// The Vantrel engine's abstract interfaces. The order of the operations in each class is part
// of the binary contract between the engine and its clients: append, never reorder.
//
// Destructors are protected and non-virtual (they take no vtable slot): an object the engine
// created for the caller is ended with exactly one Release, never with delete.
#pragma once

#include <cstdint>

#include "vantrel/records.h"

namespace MediaBased {

class IMediaUnknown {
public:
    virtual void* ReservedQuery(void* key) = 0;
    // Reads or applies a named parameter; 0 for names the object does not know.
    virtual intptr_t NamedParameter(const char* name, const char* value) = 0;
    virtual void Release() = 0;

protected:
    ~IMediaUnknown() = default;
};

class IMediaFrame : public IMediaUnknown {
public:
    virtual uint8_t* GetBuffer() = 0;
    virtual int32_t GetBufferSize() = 0;
    // Start and end in units of 100 ns; either address may be null.
    virtual void GetTimes(int64_t* start, int64_t* end) = 0;
    virtual IMediaFrame* SetTimes(int64_t start, int64_t end) = 0;
    virtual bool IsKeyFrame() = 0;
    virtual IMediaFrame* SetKeyFrame(bool key) = 0;
    virtual bool IsDiscontinuity() = 0;
    virtual IMediaFrame* SetDiscontinuity(bool discontinuity) = 0;
    virtual bool GetExtraFlag() = 0;
    virtual IMediaFrame* SetExtraFlag(bool flag) = 0;
    virtual int32_t GetKind() = 0;
    virtual IMediaFrame* SetKind(int32_t kind) = 0;
    // A copy owned by the caller; null for compressed frames or when memory runs out.
    virtual IMediaFrame* Clone() = 0;

protected:
    ~IMediaFrame() = default;
};

class IVideoFrame : public IMediaFrame {
public:
    virtual int32_t GetPixelFormat() = 0;
    virtual int32_t GetPlaneCount() = 0;
    virtual uint8_t* GetPlane(int32_t plane, int32_t* rowBytes, int32_t* lineSize, int32_t* rows) = 0;
    virtual void GetSize(int32_t* width, int32_t* height) = 0;
    virtual bool IsTopDown() = 0;
    virtual bool GetUserFlag() = 0;
    virtual bool IsInterlaced() = 0;
    virtual IVideoFrame* SetInterlaced(bool interlaced) = 0;
    virtual IVideoFrame* SetUserFlag(bool flag) = 0;

protected:
    ~IVideoFrame() = default;
};

class IAudioFrame : public IMediaFrame {
public:
    virtual int32_t GetSampleFormat() = 0;
    virtual int32_t GetChannels() = 0;
    virtual uint8_t* GetPlane(int32_t plane, int32_t* byteCount) = 0;
    virtual int32_t GetSampleRate() = 0;
    virtual int64_t GetChannelLayout() = 0;
    virtual bool GetCreationFlag() = 0;
    virtual int32_t GetSampleCount() = 0;
    virtual bool IsInterleaved() = 0;

protected:
    ~IAudioFrame() = default;
};

class ICompressedFrame : public IMediaFrame {
protected:
    ~ICompressedFrame() = default;
};

// Owned by its IMediaInfo; has no Release.
class IStreamInfo {
public:
    virtual StreamRecord* GetRecord() = 0;
    virtual const StreamRecord* GetConstRecord() = 0;
    virtual const PropertyBlob* GetProperty(const char* name) = 0;
    virtual bool SetProperty(const char* name, const PropertyBlob* blob) = 0;

protected:
    ~IStreamInfo() = default;
};

class IMediaInfo : public IMediaUnknown {
public:
    virtual const char* GetFormatName() = 0;
    // Throws std::invalid_argument("Bad pointer") for a null text.
    virtual void SetFormatName(const char* name) = 0;
    virtual int32_t GetStreamCount() = 0;
    virtual const StreamRecord* GetStreamRecord(int32_t index) = 0;
    virtual IStreamInfo* GetStreamInfo(uint32_t index) = 0;
    // Throws std::invalid_argument("Bad pointer") for a null record.
    virtual void AddStream(const StreamRecord* record) = 0;
    virtual IMediaInfo* Clone() = 0;

protected:
    ~IMediaInfo() = default;
};

class IMediaSource : public IMediaUnknown {
public:
    // The frame stays the source's: valid until the next ReadFrame of the same slot.
    virtual bool ReadFrame(IMediaFrame** frame, int32_t* slot, void* reserved) = 0;
    virtual bool Seek(int32_t positionMs) = 0;
    virtual int32_t GetDuration() = 0;
    virtual intptr_t ReservedValue() = 0;
    virtual bool IsEndOfStream() = 0;

protected:
    ~IMediaSource() = default;
};

class IMediaSourceEx : public IMediaSource {
protected:
    ~IMediaSourceEx() = default;
};

class IMediaImporter : public IMediaUnknown {
public:
    virtual bool Open(const char* pathUtf8) = 0;
    virtual bool Reopen(void* reserved) = 0;
    virtual int32_t GetMediaCount() = 0;
    // Lent by the importer: valid until the next Close, Open, Reopen or Release.
    virtual IMediaInfo* GetMediaInfo(uint32_t mediaIndex) = 0;
    // The source reads this importer's container; release it before the importer.
    virtual IMediaSource* CreateSource(uint32_t mediaIndex, const StreamSelection* selections,
                                       int32_t count) = 0;
    virtual void Close() = 0;

protected:
    ~IMediaImporter() = default;
};

class IMediaTaskConfig : public IMediaUnknown {
public:
    virtual const char* GetSourcePath() = 0;
    virtual void SetSourcePath(const char* path) = 0;
    virtual const StreamSelection* GetStreamSelection(uint32_t index) = 0;
    virtual int32_t GetStreamSelectionCount() = 0;
    virtual void AddStreamSelection(const StreamSelection* selection) = 0;
    virtual const char* GetTargetPath() = 0;
    virtual void SetTargetPath(const char* path) = 0;
    // Stores a clone of info and returns that clone (still owned by the configuration).
    virtual IMediaInfo* SetTargetInfo(IMediaInfo* info) = 0;
    virtual IMediaInfo* GetTargetInfo() = 0;
    virtual IMediaTaskConfig* Clone() = 0;

protected:
    ~IMediaTaskConfig() = default;
};

class IMediaConverter : public IMediaUnknown {
public:
    // Keeps its own clone of config; returns the new task count, or -1.
    virtual int32_t AddTask(IMediaTaskConfig* config) = 0;
    virtual int32_t GetTaskCount() = 0;
    virtual ConvertTask* GetTask(uint32_t index) = 0;
    virtual int32_t GetUnfinishedTaskCount() = 0;
    virtual bool RemoveTask(uint32_t index) = 0;
    virtual bool Start() = 0;
    virtual bool Pause() = 0;
    virtual bool Stop() = 0;
    virtual bool IsPaused() = 0;
    virtual bool SetMaxParallelTasks(int32_t count) = 0;
    // What the engine reported while task index ran (its own messages and FFmpeg's), one
    // line each; empty before it starts. Valid until this thread's next GetTaskLog; null for
    // an index out of range.
    virtual const char* GetTaskLog(uint32_t index) = 0;
    // Waits until a task starts or ends, or timeoutMs passes; true when one did. Every call
    // sees the changes made since the caller's previous call, so none is missed between polls.
    virtual bool WaitForTaskChange(int32_t timeoutMs) = 0;

protected:
    ~IMediaConverter() = default;
};

class IMediaExporter : public IMediaUnknown {
public:
    virtual bool Open(const char* pathUtf8) = 0;
    virtual bool Close() = 0;
    virtual bool SetTargetInfo(IMediaInfo* info) = 0;
    virtual IMediaInfo* GetTargetInfo() = 0;
    // streamIndex is the frame's selection slot, which is also its output stream.
    virtual bool WriteFrame(IMediaFrame* frame, uint32_t streamIndex) = 0;

protected:
    ~IMediaExporter() = default;
};

class IAudioResampler : public IMediaUnknown {
public:
    // Returns in itself when it already matches, the resampler's own frame when one is
    // ready, or null. Call Convert(nullptr) until null to drain.
    virtual IAudioFrame* Convert(IAudioFrame* in) = 0;
    virtual void SetVolume(float volume) = 0;
    // Ends the input: Convert(nullptr) then hands out what the graph still holds, the last
    // frame possibly shorter than the frame size. The next Convert(in) starts a new stream.
    virtual void EndOfStream() = 0;

protected:
    ~IAudioResampler() = default;
};

class IImageConverter : public IMediaUnknown {
public:
    // Returns in itself when it already matches, the converter's own frame when one is
    // ready, or null. A converter that deinterlaces holds one picture back: call
    // Convert(nullptr) until null after every input, and EndOfStream at the end.
    virtual IVideoFrame* Convert(IVideoFrame* in) = 0;
    // Ends the input: Convert(nullptr) then hands out the pictures still held.
    virtual void EndOfStream() = 0;

protected:
    ~IImageConverter() = default;
};

class IMediaManager : public IMediaUnknown {
public:
    virtual IMediaSourceEx* CreateMediaSource(const char* pathUtf8) = 0;
    virtual void* ReservedCreate(void* a, void* b, void* c, void* d) = 0;
    virtual void* ReservedQuery2(void* a) = 0;
    virtual IMediaImporter* CreateImporter(const char* name) = 0;
    virtual IMediaImporter* OpenImporter(const char* pathUtf8) = 0;
    virtual IAudioResampler* CreateAudioResampler(int32_t sampleFormat, int32_t channels,
                                                  int32_t sampleRate, int64_t channelLayout,
                                                  int32_t reserved) = 0;
    virtual IImageConverter* CreateImageConverter(int32_t pixelFormat, int32_t width,
                                                  int32_t height, uint32_t flags) = 0;
    virtual IMediaConverter* CreateConverter() = 0;
    virtual IMediaTaskConfig* CreateTaskConfig() = 0;
    virtual IMediaExporter* CreateExporter(void* reserved) = 0;
    virtual IMediaInfo* CreateMediaInfo() = 0;

protected:
    ~IMediaManager() = default;
};

}  // namespace MediaBased

namespace SystemBased {

// The process-wide in-memory log. One instance, owned by the library, never released.
class ISystemLogger {
public:
    virtual void* Reserved0(void* reserved) = 0;
    virtual bool Reserved1(void* reserved) = 0;
    virtual const char* Reserved2() = 0;
    // Appends "[YYYYMMDD-hh:mm:ss..T],message,location\n"; location may be null.
    virtual bool Log(const char* message, const char* location) = 0;
    // A snapshot of the whole log, valid until this thread's next GetText.
    virtual const char* GetText() = 0;

protected:
    ~ISystemLogger() = default;
};

}  // namespace SystemBased
