#pragma once

// Building blocks for the objects of an in-process server library: the
// reference count, QueryInterface for an object with one interface, the
// library's count of live objects and locks (for DllCanUnloadNow) and a class
// factory.

#include "com/interfaces.h"

#include <atomic>
#include <new>
#include <type_traits>

namespace com {

// Live objects and server locks of one library; Tag tells libraries apart.
template <class Tag> struct ModuleCount {
    static inline std::atomic<long> objects{0};
    static inline std::atomic<long> locks{0};
    static bool idle() { return objects.load() == 0 && locks.load() == 0; }
};

// An object that offers IUnknown, IDispatch (when Interface is dual) and
// Interface. A new object starts with one reference, owned by its creator.
template <class Interface, class Module> class SingleInterfaceObject : public Interface {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        bool known = riid == IUnknown::iid || riid == Interface::iid;
        if constexpr (std::is_base_of_v<IDispatch, Interface>)
            known = known || riid == IDispatch::iid;
        if (!known) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

    SingleInterfaceObject(const SingleInterfaceObject&) = delete;
    SingleInterfaceObject& operator=(const SingleInterfaceObject&) = delete;

protected:
    SingleInterfaceObject() { ++Module::objects; }
    virtual ~SingleInterfaceObject() { --Module::objects; }

private:
    // Apartment-threaded objects are used from one thread; the count is
    // atomic anyway so that a stray cross-thread release cannot corrupt it.
    std::atomic<ULONG> m_references{1};
};

// The factory of one class; a static object that lives as long as the library.
template <class Object, class Module> class ClassFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (riid != IUnknown::iid && riid != IClassFactory::iid) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        Object* created = nullptr;
        try {
            created = new Object();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = created->QueryInterface(riid, object);
        created->Release();
        return hr;
    }
    HRESULT LockServer(std::int32_t lock) override {
        if (lock)
            ++Module::locks;
        else
            --Module::locks;
        return S_OK;
    }

    virtual ~ClassFactory() = default;
};

} // namespace com
