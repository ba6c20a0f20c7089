#pragma once

// The gateway's view of the KORVA booking object model. Objects are created by
// class identifier through the class registry, so KORVA must be registered
// (kesto-regsvr libkorva.so). Every object here is a value holding one counted
// reference: copying adds a reference, destruction releases it, and the library
// frees an object when its last reference goes.
//
// Objects belong to the thread that created them; there is no locking.

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace com {
struct IDispatch;
}

namespace korva {

// Codes of Error::code() that callers may want to tell apart.
inline constexpr long kInvalidArgument =
    static_cast<std::int32_t>(0x800A0005u); // key or position absent
inline constexpr long kDuplicateKey = static_cast<std::int32_t>(0x800A01C9u); // Add with a used key
inline constexpr long kNotRegistered =
    static_cast<std::int32_t>(0x80040154u); // KORVA not registered

// A failed call of the object model: code() is the HRESULT, what() the description (UTF-8).
class Error : public std::runtime_error {
public:
    Error(long code, const std::string& description);
    long code() const { return m_code; }

private:
    long m_code;
};

// One counted reference to an object of the library.
class ObjectRef {
public:
    ObjectRef() = default;
    // Takes over one reference the caller already holds.
    explicit ObjectRef(com::IDispatch* adopted) noexcept : m_object(adopted) {}
    ObjectRef(const ObjectRef& other) noexcept;
    ObjectRef(ObjectRef&& other) noexcept;
    ObjectRef& operator=(const ObjectRef& other) noexcept;
    ObjectRef& operator=(ObjectRef&& other) noexcept;
    ~ObjectRef();

    com::IDispatch* get() const noexcept { return m_object; }
    // Whether both refer to the same object (COM identity).
    bool isSameObject(const ObjectRef& other) const;

    // Reads and writes a property through IDispatch by its name.
    QString getByName(std::string_view name) const;
    void setByName(std::string_view name, const QString& value);

private:
    com::IDispatch* m_object = nullptr;
};

template <class Member> class Collection;
class Pnr;

// A record object: PAX, ITN or CRL. Property names are the library's own
// ("PAX_NM", "TKT_NO", ...); an unset property reads as the empty text.
#define KORVA_CLIENT_RECORD(ClassName)                                                             \
    class ClassName {                                                                              \
    public:                                                                                        \
        static ClassName create();                                                                 \
        QString get(std::string_view name) const;                                                  \
        void set(std::string_view name, const QString& value);                                     \
        bool isSameObject(const ClassName& other) const {                                          \
            return m_ref.isSameObject(other.m_ref);                                                \
        }                                                                                          \
        const ObjectRef& ref() const { return m_ref; }                                             \
                                                                                                   \
    private:                                                                                       \
        friend class Collection<ClassName>;                                                        \
        explicit ClassName(ObjectRef ref) : m_ref(std::move(ref)) {}                               \
        ObjectRef m_ref;                                                                           \
    };

KORVA_CLIENT_RECORD(Pax)
KORVA_CLIENT_RECORD(Itn)
KORVA_CLIENT_RECORD(Crl)

#undef KORVA_CLIENT_RECORD

// PAXS, ITNS or CRLS: members filed under the decimal text of a number.
template <class Member> class Collection {
public:
    int count() const;          // Count
    Member item(int key) const; // Item by the key's decimal text; throws Error when absent
    std::optional<Member> find(int key) const;   // Item, absent -> nullopt
    void add(const Member& member, qint16 zcnt); // Add; throws Error on a duplicate key
    const ObjectRef& ref() const { return m_ref; }

private:
    friend class Pnr;
    explicit Collection(ObjectRef ref) : m_ref(std::move(ref)) {}
    ObjectRef m_ref;
};

extern template class Collection<Pax>;
extern template class Collection<Itn>;
extern template class Collection<Crl>;

// The booking: header texts ("RLOC_CD", "SEQ_NO", ...) and its three collections.
class Pnr {
public:
    static Pnr create();
    QString get(std::string_view name) const;
    void set(std::string_view name, const QString& value);

    Collection<Pax> paxs() const;
    Collection<Itn> itns() const;
    Collection<Crl> crls() const;

    bool isSameObject(const Pnr& other) const { return m_ref.isSameObject(other.m_ref); }
    const ObjectRef& ref() const { return m_ref; }

private:
    explicit Pnr(ObjectRef ref) : m_ref(std::move(ref)) {}
    ObjectRef m_ref;
};

} // namespace korva
