// The framework's audio device: one object per device the host sees. It
// answers the standard device properties itself, keeps its input and output
// streams ordered by starting device channel, relays control changes to host
// notifications, registers the clients' IOProcs and runs every change that
// must not overlap an I/O cycle as a command (HPCommand): at once inside the
// command bracket (StartCommandExecution / FinishCommandExecution), or, when
// IsSafeToExecuteCommand says the calling thread is the I/O thread, queued
// until the I/O thread calls ExecuteAllCommands after its cycle.
//
// The hooks a concrete device fills in (name, UID, latency, engine start and
// stop, time, hog mode, the command bracket) have inert bodies here.
//
// Threads: property requests and the Do-operations arrive on host client
// threads; control changes on whatever thread changed the control; the I/O
// thread issues commands from inside IOProcs and drains the queue. The base
// takes no lock: a concrete device serialises command execution against its
// I/O cycle in StartCommandExecution. The command list is appended to only
// on the I/O thread and drained or cleared only under that same
// serialisation.
//
// Ownership: the device owns the property handlers it creates in Initialize
// and every command handed to ExecuteCommand; it does not own its streams or
// (beyond HPControlOwner's map) its controls.
#pragma once

#include <atomic>
#include <map>
#include <vector>

#include "framework/HPIOProcInfo.h"
#include "framework/HPPropertyObject.h"
#include "framework/controls/HPControlOwner.h"
#include "platform/AudioHardware.h"
#include "platform/CoreAudioTypes.h"
#include "platform/CoreFoundation.h"

class HPPlugIn;
class HPStream;
class HPCommand;
class HPControl;
class HPProperty;
class HPHogMode;

class HPDevice : public HPPropertyObject, public HPControlOwner {
public:
    // inDeviceID is the ID claimed from the host. The plug-in names this
    // device's owner in host notifications; it is not owned.
    HPDevice(HPPlugIn* inPlugIn, AudioDeviceID inDeviceID);
    // Releases the containers only: streams, handlers and queued commands
    // are not deleted here (Teardown and ClearAllCommands do that).
    ~HPDevice() override;

    // Creates and registers the device's property handlers: buffer size,
    // stream list, device format, then the five device control properties.
    void Initialize() override;
    // Unregisters and deletes them, in creation order.
    void Teardown() override;

    // Host client thread. The device's own selectors are answered here;
    // everything else goes to the registered handlers.
    bool HasProperty(const HPPropertyAddress& inAddress) const override;
    bool PropertyIsSettable(const HPPropertyAddress& inAddress) const override;
    UInt32 GetPropertyDataSize(const HPPropertyAddress& inAddress) const override;
    void GetPropertyData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override;
    // Refuses every selector with '!hog' while another process owns hog mode.
    void SetPropertyData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                         const AudioTimeStamp* inWhen) override;
    // Tells the host through AudioHardwareDevicePropertyChanged, on the
    // calling thread. A host error is printed and otherwise ignored.
    void PropertyChanged(const HPPropertyAddress& inAddress) const override;

    // Identity. The Copy operations return a reference the caller releases.
    // Base: null, null, null, 0, true, false.
    virtual CFStringRef CopyDeviceName() const;
    virtual CFStringRef CopyDeviceManufacturerName() const;
    virtual CFStringRef CopyDeviceUID() const;
    virtual UInt32 GetTransportType() const;
    virtual bool IsAlive() const;
    virtual bool CanBeDefaultDevice(bool inIsInput, bool inIsSystem) const;

    // The device's own control, else, for a non-zero channel of one section,
    // the control of the stream carrying that device channel. Never throws.
    HPControl* GetControl(UInt32 inSelector, UInt32 inChannel, UInt8 inSection) const override;
    // Called by a control of the device or of one of its streams, on the
    // thread that changed it: sends the matching device notifications.
    void ControlValueChanged(HPControl* inControl) override;
    void ControlRangeChanged(HPControl* inControl) override;
    // The stream owning the control, with ioChannel set to the control's
    // device channel; null (ioChannel untouched) if no stream owns it.
    virtual HPStream* GetControlOwnerIfStream(HPControl* inControl, UInt32& ioChannel) const;

    // Commands. ExecuteCommand takes ownership of inCommand. If the calling
    // thread may run it, it runs now inside the command bracket, is deleted,
    // and its failure is rethrown as CAException (no message); otherwise it
    // is queued and this returns at once.
    virtual void ExecuteCommand(HPCommand* inCommand);
    // I/O thread, after an I/O cycle, inside the device's serialisation: runs
    // and deletes every queued command in arrival order; failures are lost.
    virtual void ExecuteAllCommands();
    // Whether the calling thread may run a command now. Base: true.
    virtual bool IsSafeToExecuteCommand(HPCommand* inCommand);
    // Opens the command bracket (a concrete device takes its I/O lock; may
    // block). False skips the command. Base: true.
    virtual bool StartCommandExecution();
    // Closes the bracket opened by StartCommandExecution. Base: nothing.
    virtual void FinishCommandExecution();
    // Deletes every queued command without running it.
    virtual void ClearAllCommands();

    // Host entry points (host client threads; may block in the command
    // bracket). Each validates, then hands a command to ExecuteCommand.
    virtual void DoAddIOProc(AudioDeviceIOProc inIOProc, void* inClientData);
    virtual void DoRemoveIOProc(AudioDeviceIOProc inIOProc);
    // A null IOProc is a start by the host itself; such starts are counted.
    virtual void DoStartIOProc(AudioDeviceIOProc inIOProc);
    virtual void DoStopIOProc(AudioDeviceIOProc inIOProc);
    // Stops every host start and every started IOProc, each as a command.
    virtual void DoStopAll();

    // What the commands run, inside the command bracket (or on the I/O
    // thread after a cycle).
    virtual void AddIOProc(AudioDeviceIOProc inIOProc, void* inClientData);
    // Stops the IOProc first if it is started; an unknown IOProc is ignored.
    virtual void RemoveIOProc(AudioDeviceIOProc inIOProc);
    // outUsage gets one flag per stream of the direction: all false for an
    // unknown IOProc, all true when it never chose.
    virtual void GetIOProcStreamUsage(AudioDeviceIOProc inIOProc, bool inIsInput, bool* outUsage) const;
    // inUsage has one flag per stream of the direction.
    virtual void SetIOProcStreamUsage(AudioDeviceIOProc inIOProc, bool inIsInput, const bool* inUsage);
    // Starts the engine on the first start; a failing StartEngine undoes the
    // start before its error propagates.
    virtual void StartIOProc(AudioDeviceIOProc inIOProc);
    // Stops the engine when neither a started IOProc nor a host start is left.
    virtual void StopIOProc(AudioDeviceIOProc inIOProc);

    // Hooks around an IOProc's record. Base: nothing, except that
    // TeardownIOProcInfo deletes the usage arrays.
    virtual void InitializeIOProcInfo(HPIOProcInfo& ioInfo);
    virtual void TeardownIOProcInfo(HPIOProcInfo& ioInfo);
    virtual void IOProcStreamUsageChanged(HPIOProcInfo& ioInfo, bool inIsInput);
    virtual void IOProcStarted(HPIOProcInfo& ioInfo);
    virtual void IOProcStopped(HPIOProcInfo& ioInfo);

    // I/O buffer size in frames. The base checks the limits and stores it.
    virtual void SetIOBufferFrameSize(UInt32 inFrameSize);
    // Base: 2 and 65536.
    virtual UInt32 GetMinimumIOBufferFrameSize() const;
    virtual UInt32 GetMaximumIOBufferFrameSize() const;

    // In frames. Base: 0.
    virtual UInt32 GetLatency(bool inIsInput) const;
    virtual UInt32 GetSafetyOffset(bool inIsInput) const;

    // Engine. StartEngine and StopEngine run inside the command bracket.
    virtual bool IsEngineRunning() const;
    // Base: nothing.
    virtual void Read(const AudioTimeStamp& inStartTime, AudioBufferList* outData);
    // Base: set and clear the engine-running flag.
    virtual void StartEngine();
    virtual void StopEngine();

    // Time. Base: nothing.
    virtual void GetCurrentTime(AudioTimeStamp& outTime);
    virtual void TranslateTime(const AudioTimeStamp& inTime, AudioTimeStamp& outTime);
    // Base: GetNominalSampleRate().
    virtual Float64 GetActualSampleRate() const;
    // The first output stream's rate, else the first input stream's; 0 for a
    // device without streams.
    virtual Float64 GetNominalSampleRate() const;
    // Called by a stream's format list after its physical format changed,
    // inside the command bracket. Base: nothing.
    virtual void PhysicalFormatChanged(HPStream* inStream, const AudioStreamBasicDescription& inOldFormat,
                                       const AudioStreamBasicDescription& inNewFormat);

    // Streams, per direction, ordered by starting device channel. The device
    // does not own them.
    virtual bool HasSection(bool inIsInput) const;
    virtual UInt32 GetNumberStreams(bool inIsInput) const;
    // Null when inIndex is not below the count.
    virtual HPStream* GetStreamByIndex(bool inIsInput, UInt32 inIndex) const;
    // The first stream, in channel order, whose channels do not all lie below
    // inChannel (device channels count from 1); null if none.
    virtual HPStream* GetStreamByDeviceChannel(bool inIsInput, UInt32 inChannel) const;
    virtual void AddStream(HPStream* inStream);
    // Absent streams are ignored.
    virtual void RemoveStream(HPStream* inStream);

    // Hog mode (called by the hog-mode handler, HPHogMode). Base: always
    // free; the notifications go to each section the device has.
    virtual bool HogModeOwnedBySelfOrIsFree();
    virtual void HogModeTakenBySelf();
    virtual void HogModeTakenByOther();
    virtual void HogModeReleasedBySelf();
    virtual void HogModeReleasedByOther();

    HPPlugIn* GetPlugIn() const { return mPlugIn; }
    UInt32 GetIOBufferFrameSize() const { return mIOBufferFrameSize; }
    // Sum of the current channel counts of the direction's streams.
    UInt32 GetTotalNumberChannels(bool inIsInput) const;
    // One buffer per stream of the direction, sized for the current frame
    // size; memory only for the streams inUsage marks (all when null).
    // Allocates: never on the I/O thread.
    AudioBufferList* AllocateAudioBufferList(bool inIsInput, const bool* inUsage) const;
    // Frees the buffers' memory and the list; null is ignored.
    void FreeAudioBufferList(AudioBufferList* inList) const;

protected:
    // Keyed and ordered by the IOProc's pointer value.
    using IOProcMap = std::map<AudioDeviceIOProc, HPIOProcInfo>;
    using StreamList = std::vector<HPStream*>;
    using CommandList = std::vector<HPCommand*>;

    // Read by a concrete device's I/O cycle, inside its serialisation.
    const IOProcMap& GetIOProcMap() const { return mIOProcMap; }
    UInt32 GetNumberStartedIOProcs() const { return mNumberStartedIOProcs; }
    UInt32 GetHostStartCount() const { return mHostStartCount; }
    UInt32 GetNumberQueuedCommands() const { return UInt32(mCommandList.size()); }

private:
    // Sends (inSelector, inChannel, section) for every section the control
    // notifies: once for a one-section control, input then output for an
    // all-sections one.
    void SendControlNotification(UInt32 inSelector, UInt32 inChannel, UInt8 inSection) const;
    // The device channel of a control of this device or of one of its
    // streams; false for a control owned by neither.
    bool GetControlDeviceChannel(HPControl* inControl, UInt32& outChannel) const;
    // The 'oink' notifications, input section first.
    void SendHogModeNotifications();
    HPIOProcInfo* FindIOProcInfo(AudioDeviceIOProc inIOProc);
    const HPIOProcInfo* FindIOProcInfo(AudioDeviceIOProc inIOProc) const;
    StreamList& GetStreamList(bool inIsInput) { return inIsInput ? mInputStreamList : mOutputStreamList; }
    const StreamList& GetStreamList(bool inIsInput) const
    {
        return inIsInput ? mInputStreamList : mOutputStreamList;
    }

    HPPlugIn* mPlugIn;  // not owned
    std::vector<HPProperty*> mPropertyList;  // owned, created by Initialize
    CommandList mCommandList;                // owned, arrival order
    IOProcMap mIOProcMap;
    UInt32 mNumberStartedIOProcs;
    UInt32 mHostStartCount;
    // Written under the IO guard by StartEngine and StopEngine; read without
    // it by host threads ('goin', the device clock), hence atomic.
    std::atomic<bool> mIsEngineRunning;
    UInt32 mIOBufferFrameSize;
    StreamList mInputStreamList;
    StreamList mOutputStreamList;
};
