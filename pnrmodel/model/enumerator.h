#pragma once

// The enumerator a collection hands out from NewEnum: a snapshot of the
// members at that moment, each held by one reference.

#include "com/comptr.h"
#include "com/objectbase.h"

#include <vector>

namespace korva_model {

template <class Module>
class MemberEnumerator final : public com::SingleInterfaceObject<com::IEnumVARIANT, Module> {
public:
    explicit MemberEnumerator(std::vector<com::ComPtr<com::IDispatch>> members,
                              std::size_t position = 0)
        : m_members(std::move(members)), m_position(position) {}

    com::HRESULT Next(com::ULONG count, com::VARIANT* items, com::ULONG* fetched) override {
        if (!items && count > 0)
            return com::E_POINTER;
        com::ULONG done = 0;
        while (done < count && m_position < m_members.size()) {
            com::VariantInit(&items[done]);
            items[done].vt = com::VT_DISPATCH;
            items[done].pdispVal = m_members[m_position].get();
            items[done].pdispVal->AddRef();
            ++done;
            ++m_position;
        }
        if (fetched)
            *fetched = done;
        return done == count ? com::S_OK : com::S_FALSE;
    }
    com::HRESULT Skip(com::ULONG count) override {
        const std::size_t left = m_members.size() - m_position;
        m_position += std::min<std::size_t>(count, left);
        return count <= left ? com::S_OK : com::S_FALSE;
    }
    com::HRESULT Reset() override {
        m_position = 0;
        return com::S_OK;
    }
    com::HRESULT Clone(com::IEnumVARIANT** copy) override {
        if (!copy)
            return com::E_POINTER;
        try {
            *copy = new MemberEnumerator(m_members, m_position);
        } catch (const std::bad_alloc&) {
            *copy = nullptr;
            return com::E_OUTOFMEMORY;
        }
        return com::S_OK;
    }

private:
    std::vector<com::ComPtr<com::IDispatch>> m_members;
    std::size_t m_position;
};

} // namespace korva_model
