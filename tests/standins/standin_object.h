// The IUnknown side the stand-ins' COM objects share: a reference count of
// their own, and deletion with the last reference. A wrapper of a real object
// answers QueryInterface for IUnknown and its own interface, hands any other
// to the real object, and releases the real object with its last reference;
// an object of the stand-in's own (no real object) knows no other interface.
// `live`, when given, counts the objects not yet released.
#pragma once

#include <windows.h>

template <class Interface>
class StandInObject : public Interface {
public:
    StandInObject(Interface* real, REFIID iid, LONG* live = nullptr) : real_(real), iid_(iid), live_(live) {
        if (live_) InterlockedIncrement(live_);
    }
    virtual ~StandInObject() = default;

    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override {
        if (riid == __uuidof(IUnknown) || riid == iid_) {
            AddRef();
            *out = static_cast<Interface*>(this);
            return S_OK;
        }
        if (real_) return real_->QueryInterface(riid, out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG WINAPI Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) {
            if (real_) real_->Release();
            if (live_) InterlockedDecrement(live_);
            delete this;
        }
        return static_cast<ULONG>(left);
    }

protected:
    Interface* real_;  // the system's object, or null

private:
    IID iid_;
    LONG* live_;
    LONG refs_ = 1;
};
