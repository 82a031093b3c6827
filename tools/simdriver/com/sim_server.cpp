// The in-process server's entry points: the class factory for the simulated
// driver classes and the unload test.
#include <objbase.h>
#include <unknwn.h>

#include <cstring>
#include <new>

#include "simdriver/classes/sim_objects.h"

namespace asiochan::sim::classes {

namespace {

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const SimClassInfo& cls) : class_(cls) { ++server().locks; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            AddRef();
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long left = --refs_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // The driver is handed out as the object itself: its class id doubles as the
    // interface id, and plain IUnknown is accepted too.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        asiochan::platform::ClassId asked;
        std::memcpy(&asked, &riid, sizeof asked);
        return createDriver(class_, asked, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ++server().locks;
        else
            --server().locks;
        return S_OK;
    }

private:
    ~ClassFactory() { --server().locks; }

    const SimClassInfo& class_;
    std::atomic<long> refs_{1};
};

}  // namespace
}  // namespace asiochan::sim::classes

using namespace asiochan::sim::classes;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        server().module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    asiochan::platform::ClassId id;
    std::memcpy(&id, &clsid, sizeof id);
    const SimClassInfo* cls = findSimClass(id);
    if (cls == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) ClassFactory(*cls);
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT r = factory->QueryInterface(riid, object);
    factory->Release();
    return r;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return server().liveObjects.load() == 0 && server().locks.load() == 0 ? S_OK : S_FALSE;
}
