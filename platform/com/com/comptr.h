#pragma once

// A counted reference to an interface: ComPtr<T>::adopt() for a reference the
// caller already owns (fresh from an out-parameter), ComPtr<T>(p) to share a
// borrowed pointer (adds a reference).

#include "com/interfaces.h"

#include <utility>

namespace com {

template <class T> class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* shared) : m_ptr(shared) {
        if (m_ptr)
            m_ptr->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_ptr) {}
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_ptr, other.m_ptr);
        return *this;
    }
    ~ComPtr() { reset(); }

    static ComPtr adopt(T* owned) {
        ComPtr p;
        p.m_ptr = owned;
        return p;
    }

    void reset() {
        if (T* p = std::exchange(m_ptr, nullptr))
            p->Release();
    }
    T* get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }
    T* detach() { return std::exchange(m_ptr, nullptr); }
    // For out-parameters of type T**: releases the current reference first.
    T** receive() {
        reset();
        return &m_ptr;
    }
    void** receiveVoid() { return reinterpret_cast<void**>(receive()); }

    // QueryInterface for another interface; empty when the object lacks it.
    template <class U> ComPtr<U> query() const {
        ComPtr<U> out;
        if (m_ptr)
            m_ptr->QueryInterface(U::iid, out.receiveVoid());
        return out;
    }

private:
    T* m_ptr = nullptr;
};

} // namespace com
