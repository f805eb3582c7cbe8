#pragma once
// Base of the command modules: knows its window and the instrument device and offers the
// hooks through which the device and the communication module reach it. Every hook of the
// base accepts its call and does nothing.
//
// ReceiveData and OnReceive are called on the communication thread; an override hands its
// window work to the GUI thread. Everything else runs on the GUI thread.
//
// A module must stop being a receiver before its derived part is destroyed, or a reply in
// delivery could reach a half-destroyed object: every derived destructor calls
// DetachFromDevice first. The base destructor calls it as well, for plain modules.
//
// A window may close while one of its module's operations waits in the message loop (a wait
// that lets messages through, a message window, a modal dialog): such an operation holds a
// KModule::Running while it runs, the closing window releases the module instead of deleting
// it, and the module is deleted when its outermost running operation returns.

class KComDevice;
class TFormApp;

class KModule {
public:
    // Held by an operation of the module that may run the message loop, for as long as it
    // runs; the last one to end deletes a module that was released meanwhile. GUI thread.
    class Running {
    public:
        explicit Running(KModule* module);
        ~Running();
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

    private:
        KModule* module_;
    };

    KModule() = default;
    virtual ~KModule();
    KModule(const KModule&) = delete;
    KModule& operator=(const KModule&) = delete;

    // The window is done with `module`: from here on it receives no replies and knows neither
    // window nor device, so whatever of it still runs ends without touching either. Deleted at
    // once, or when its outermost running operation returns. GUI thread.
    static void Release(KModule* module);
    // Released: a wait in progress ends at once.
    bool IsReleased() const { return released_; }

    virtual void SetForm(TFormApp* form);
    // Raw text of every reply, for the module registered as listener (communication thread).
    virtual void ReceiveData(char* text, int* count);
    virtual void SetComDevice(KComDevice* device);
    // Before every send, also when the link is closed.
    virtual void LogSend(const char* text);
    // A reply parsed by the device under its command state (communication thread).
    virtual void OnReceive(int state, int count, const char* text);
    // Before a query is sent, and before a command without reply.
    virtual void StartReplyTimeout();
    virtual void StopReplyTimeout();

    // Repaints the bound window at once.
    void RefreshForm();

    TFormApp* GetForm() const { return form_; }
    KComDevice* GetComDevice() const { return device_; }

protected:
    // Leaves the device without this module: no longer its current module nor its raw-text
    // listener. Waits for a delivery in progress (the device's delivery lock). May be called
    // more than once.
    void DetachFromDevice();

private:
    TFormApp* form_ = nullptr;
    KComDevice* device_ = nullptr;
    int running_ = 0; // operations on the stack (GUI thread)
    bool released_ = false;
};

// How a module leaves its device: when `module` is the device's current command module the
// device is left with none, and when it is the communication module's raw-text listener the
// listener becomes none; both under the delivery lock, so a reply being handed to `module`
// is finished first. The device's layer installs it whenever it makes a device, so a module
// that knows a device always has it; before any device exists there is nothing to leave.
using ModuleDetachHook = void (*)(KComDevice* device, KModule* module);
void SetModuleDetachHook(ModuleDetachHook hook);
