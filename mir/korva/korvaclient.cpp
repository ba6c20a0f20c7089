#include "korvaclient.h"

#include "dispatchcall.h"
#include "korvalibrary.h"

#include "com/activation.h"
#include "com/comptr.h"
#include "com/errorinfo.h"
#include "korva/korva.h"

namespace korva {

static_assert(kInvalidArgument == com::makeFailure(0xA, 5));
static_assert(kDuplicateKey == com::makeFailure(0xA, 457));
static_assert(kNotRegistered == com::REGDB_E_CLASSNOTREG);

namespace {

// Creates an object of KORVA by class identifier, asking for its interface.
template <class Interface> ObjectRef activate(const com::CLSID& clsid) {
    Interface* object = nullptr;
    const com::HRESULT hr =
        com::CoCreateInstance(clsid, nullptr, Interface::iid, reinterpret_cast<void**>(&object));
    if (com::FAILED(hr))
        throw activationError(hr);
    return ObjectRef(object);
}

template <class Interface> Interface* as(const ObjectRef& ref) {
    if (!ref.get())
        throw Error(com::E_POINTER, "the object is missing");
    return static_cast<Interface*>(ref.get());
}

QString toQString(com::BSTR text) {
    const std::u16string_view view = com::bstrView(text);
    return QString::fromUtf16(view.data(), static_cast<qsizetype>(view.size()));
}

// Calls a text getter through the interface.
template <class Interface>
QString getText(const ObjectRef& ref, com::HRESULT (Interface::*getter)(com::BSTR*)) {
    com::Bstr value;
    check((as<Interface>(ref)->*getter)(value.receive()));
    return toQString(value.get());
}

template <class Interface>
void putText(const ObjectRef& ref, com::HRESULT (Interface::*putter)(com::BSTR),
             const QString& value) {
    const com::Bstr text(toUtf16(value));
    check((as<Interface>(ref)->*putter)(text.get()));
}

// Wraps an object that came back through IDispatch after checking that it has
// the expected interface.
template <class Interface> ObjectRef typed(const com::Variant& value) {
    com::Variant object;
    if (com::FAILED(com::VariantChangeType(object.get(), value.get(), 0, com::VT_UNKNOWN)) ||
        !object.get()->punkVal)
        throw Error(com::DISP_E_TYPEMISMATCH, "the member did not return an object");
    Interface* result = nullptr;
    check(object.get()->punkVal->QueryInterface(Interface::iid, reinterpret_cast<void**>(&result)));
    return ObjectRef(result);
}

// How the gateway reaches the members of each class: by interface position
// for the members it has always called that way, by name for the rest.
template <class Member> struct MemberTraits;

template <> struct MemberTraits<Pax> {
    using Interface = KORVA::_PAX;
    using CollectionInterface = KORVA::_PAXS;
    static constexpr bool itemByPosition = true;
    static constexpr bool addByPosition = false;
};

template <> struct MemberTraits<Itn> {
    using Interface = KORVA::_ITN;
    using CollectionInterface = KORVA::_ITNS;
    static constexpr bool itemByPosition = false;
    static constexpr bool addByPosition = false;
};

template <> struct MemberTraits<Crl> {
    using Interface = KORVA::_CRL;
    using CollectionInterface = KORVA::_CRLS;
    static constexpr bool itemByPosition = false;
    static constexpr bool addByPosition = true;
};

} // namespace

Error::Error(long code, const std::string& description)
    : std::runtime_error(description), m_code(code) {}

// ---- ObjectRef

ObjectRef::ObjectRef(const ObjectRef& other) noexcept : m_object(other.m_object) {
    if (m_object)
        m_object->AddRef();
}

ObjectRef::ObjectRef(ObjectRef&& other) noexcept
    : m_object(std::exchange(other.m_object, nullptr)) {}

ObjectRef& ObjectRef::operator=(const ObjectRef& other) noexcept {
    ObjectRef copy(other);
    std::swap(m_object, copy.m_object);
    return *this;
}

ObjectRef& ObjectRef::operator=(ObjectRef&& other) noexcept {
    ObjectRef taken(std::move(other));
    std::swap(m_object, taken.m_object);
    return *this;
}

ObjectRef::~ObjectRef() {
    if (m_object)
        m_object->Release();
}

bool ObjectRef::isSameObject(const ObjectRef& other) const {
    if (!m_object || !other.m_object)
        return m_object == other.m_object;
    com::ComPtr<com::IDispatch> a(m_object), b(other.m_object);
    return a.query<com::IUnknown>().get() == b.query<com::IUnknown>().get();
}

QString ObjectRef::getByName(std::string_view name) const {
    if (!m_object)
        throw Error(com::E_POINTER, "the object is missing");
    com::Variant value = dispatchCall(m_object, name, com::DISPATCH_PROPERTYGET, {});
    com::Variant text;
    check(com::VariantChangeType(text.get(), value.get(), 0, com::VT_BSTR));
    return toQString(text.get()->bstrVal);
}

void ObjectRef::setByName(std::string_view name, const QString& value) {
    if (!m_object)
        throw Error(com::E_POINTER, "the object is missing");
    dispatchCall(m_object, name, com::DISPATCH_PROPERTYPUT, {com::Variant(toUtf16(value))});
}

// ---- PAX, ITN, CRL

Pax Pax::create() {
    return Pax(activate<KORVA::_PAX>(KORVA::CLSID_PAX));
}

QString Pax::get(std::string_view name) const {
    if (name == "TKT_TAX")
        return getText(m_ref, &KORVA::_PAX::get_TKT_TAX);
    return m_ref.getByName(name);
}

void Pax::set(std::string_view name, const QString& value) {
    if (name == "TKT_AMS")
        putText(m_ref, &KORVA::_PAX::put_TKT_AMS, value);
    else if (name == "TKT_NET")
        putText(m_ref, &KORVA::_PAX::put_TKT_NET, value);
    else if (name == "TKT_TAX")
        putText(m_ref, &KORVA::_PAX::put_TKT_TAX, value);
    else if (name == "TKT_NO5")
        putText(m_ref, &KORVA::_PAX::put_TKT_NO5, value);
    else
        m_ref.setByName(name, value);
}

Itn Itn::create() {
    return Itn(activate<KORVA::_ITN>(KORVA::CLSID_ITN));
}

QString Itn::get(std::string_view name) const {
    return m_ref.getByName(name);
}

void Itn::set(std::string_view name, const QString& value) {
    m_ref.setByName(name, value);
}

Crl Crl::create() {
    return Crl(activate<KORVA::_CRL>(KORVA::CLSID_CRL));
}

QString Crl::get(std::string_view name) const {
    return m_ref.getByName(name);
}

void Crl::set(std::string_view name, const QString& value) {
    if (name == "CARR_CD")
        putText(m_ref, &KORVA::_CRL::put_CARR_CD, value);
    else if (name == "RLOC_CD")
        putText(m_ref, &KORVA::_CRL::put_RLOC_CD, value);
    else
        m_ref.setByName(name, value);
}

// ---- PNR

Pnr Pnr::create() {
    return Pnr(activate<KORVA::_PNR>(KORVA::CLSID_PNR));
}

QString Pnr::get(std::string_view name) const {
    return m_ref.getByName(name);
}

void Pnr::set(std::string_view name, const QString& value) {
    using P = KORVA::_PNR;
    if (name == "RLOC_CD")
        putText(m_ref, &P::put_RLOC_CD, value);
    else if (name == "SEQ_NO")
        putText(m_ref, &P::put_SEQ_NO, value);
    else if (name == "CRAT_DM")
        putText(m_ref, &P::put_CRAT_DM, value);
    else if (name == "NUM_CDE")
        putText(m_ref, &P::put_NUM_CDE, value);
    else if (name == "CARR_CD")
        putText(m_ref, &P::put_CARR_CD, value);
    else if (name == "TRVL_DT")
        putText(m_ref, &P::put_TRVL_DT, value);
    else if (name == "COMM_RT")
        putText(m_ref, &P::put_COMM_RT, value);
    else
        m_ref.setByName(name, value);
}

namespace {

template <class CollectionInterface>
ObjectRef heldCollection(CollectionInterface* held, const char* name) {
    if (!held)
        throw Error(com::E_POINTER, std::string("the PNR holds no ") + name + " collection");
    return ObjectRef(held);
}

} // namespace

Collection<Pax> Pnr::paxs() const {
    KORVA::_PAXS* held = nullptr;
    check(as<KORVA::_PNR>(m_ref)->get_PAXS(&held));
    return Collection<Pax>(heldCollection(held, "PAXS"));
}

Collection<Itn> Pnr::itns() const {
    const com::Variant value = dispatchCall(m_ref.get(), "ITNS", com::DISPATCH_PROPERTYGET, {});
    if (value.type() == com::VT_DISPATCH && !value.get()->pdispVal)
        throw Error(com::E_POINTER, "the PNR holds no ITNS collection");
    return Collection<Itn>(typed<KORVA::_ITNS>(value));
}

Collection<Crl> Pnr::crls() const {
    KORVA::_CRLS* held = nullptr;
    check(as<KORVA::_PNR>(m_ref)->get_CRLS(&held));
    return Collection<Crl>(heldCollection(held, "CRLS"));
}

// ---- PAXS, ITNS, CRLS

template <class Member> int Collection<Member>::count() const {
    const com::Variant value = dispatchCall(m_ref.get(), "Count", com::DISPATCH_PROPERTYGET, {});
    com::Variant number;
    check(com::VariantChangeType(number.get(), value.get(), 0, com::VT_I4));
    return number.get()->lVal;
}

template <class Member> Member Collection<Member>::item(int key) const {
    using Traits = MemberTraits<Member>;
    using Interface = typename Traits::Interface;
    com::Variant text(QString::number(key).toStdU16String());
    if constexpr (Traits::itemByPosition) {
        Interface* found = nullptr;
        check(as<typename Traits::CollectionInterface>(m_ref)->get_Item(text.get(), &found));
        return Member(ObjectRef(found));
    } else {
        const com::Variant value = dispatchCall(
            m_ref.get(), "Item", com::DISPATCH_METHOD | com::DISPATCH_PROPERTYGET, {text});
        return Member(typed<Interface>(value));
    }
}

template <class Member> std::optional<Member> Collection<Member>::find(int key) const {
    try {
        return item(key);
    } catch (const Error& e) {
        if (e.code() == kInvalidArgument)
            return std::nullopt;
        throw;
    }
}

template <class Member> void Collection<Member>::add(const Member& member, qint16 zcnt) {
    using Traits = MemberTraits<Member>;
    using Interface = typename Traits::Interface;
    if constexpr (Traits::addByPosition) {
        Interface* object = as<Interface>(member.ref());
        std::int16_t number = zcnt;
        Interface* added = nullptr;
        check(as<typename Traits::CollectionInterface>(m_ref)->Add(&object, &number, &added));
        if (added)
            added->Release(); // the caller keeps its own reference
    } else {
        dispatchCall(m_ref.get(), "Add", com::DISPATCH_METHOD,
                     {com::Variant(member.ref().get()), com::Variant(std::int16_t(zcnt))});
    }
}

template class Collection<Pax>;
template class Collection<Itn>;
template class Collection<Crl>;

} // namespace korva
