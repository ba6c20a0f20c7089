// KORVA and KORVA1 as a client sees them: activated by class identifier from
// the class registry, called by vtable slot and by name through IDispatch.

#include "comhelpers.h"
#include "testhome.h"

#include "com/classregistry.h"
#include "korva/korva.h"
#include "korva1/korva1.h"

#include <QTest>

namespace {

constexpr std::size_t kFirstOwnSlot = 7; // after IUnknown's 3 and IDispatch's 4

// The documented member order, written out independently of the headers.
const QStringList kPnrTexts = {"RLOC_CD", "SEQ_NO",  "CRAT_DM", "NUM_CDE",  "CARR_CD",
                               "TRVL_DT", "COMM_RT", "BASE_AM", "TKT_NETB", "TAX_AMB"};
const QStringList kPaxTexts = {"PAX_NM",  "TKT_NO",  "TKT_CJ",  "TKT_AMS", "TKT_NET", "TKT_TAX",
                               "TKT_NO1", "TKT_CJ1", "TKT_NO2", "TKT_CJ2", "TKT_NO3", "TKT_CJ3",
                               "TKT_NO4", "TKT_CJ4", "TKT_NO5", "TKT_CJ5"};
const QStringList kItnTexts = {"ITN_IDX", "CARR_CD", "FLT_NO",  "TKT_CLS", "TKT_ST",  "DEP_DT",
                               "DEP_TM",  "ARR_TM",  "NXDT_FG", "ORIG_CT", "DEST_CT", "STOP_OV"};
const QStringList kCrlTexts = {"CARR_CD", "RLOC_CD"};
const QStringList kPnr1Head = {"NVB",     "NVA",     "OPENTKT_TP", "TAX_AM1", "TAX_AM2",
                               "TAX_AM3", "TAX_ID1", "TAX_ID2",    "TAX_ID3", "FOP",
                               "TOUR_CD", "FB_CD",   "PAX_TY",     "COMM_PC"};
const QStringList kPax1Texts = QStringList{"IU1M3C", "IU2NM4", "NAME_NO", "PAX_TY"} + kPaxTexts;
const QStringList kItn1Texts =
    QStringList{"DEP_TERM", "ARR_TERM", "RLOC_CD", "SEAT_STR", "MEAL_STR", "TKT_FG"} +
    kItnTexts.mid(0, 11);

com::HRESULT count(com::IDispatch* collection, std::int32_t& n) {
    // get_Count is the third member of a collection.
    return callSlot(collection, kFirstOwnSlot + 2, &n);
}

template <class Collection, class Member>
com::HRESULT add(Collection* c, Member* member, std::int16_t zcnt,
                 com::ComPtr<Member>* added = nullptr) {
    Member* result = nullptr;
    const com::HRESULT hr = c->Add(&member, &zcnt, &result);
    if (added)
        *added = com::ComPtr<Member>::adopt(result);
    else if (result)
        result->Release();
    return hr;
}

template <class Collection> auto item(Collection* c, com::Variant key, com::HRESULT* hr = nullptr) {
    typename Collection::MemberInterface* found = nullptr;
    const com::HRESULT result = c->get_Item(key.get(), &found);
    if (hr)
        *hr = result;
    return com::ComPtr<typename Collection::MemberInterface>::adopt(found);
}

} // namespace

class TestKorvaModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(TestHome::Korva::Registered); }
    void cleanup() {
        com::clearErrorInfo();
        m_home.reset();
    }

    void registryHoldsBothLibraries_data();
    void registryHoldsBothLibraries();
    void identifiersAreDistinct();
    void memberSlotsFollowDocumentedOrder_data();
    void memberSlotsFollowDocumentedOrder();
    void newPnrIsEmpty();
    void textKeepsExactValue_data();
    void textKeepsExactValue();
    void namesResolveWithoutRegardToCase();
    void unknownNameFails();
    void itemFindsByKeyNotPosition();
    void removeTakesPositionForNumberAndKeyForText();
    void duplicateKeyFailsAndAddsNothing();
    void missingKeyOrPositionFails_data();
    void missingKeyOrPositionFails();
    void dispatchReportsCollectionErrors();
    void newEnumListsMembersInOrder();
    void putrefReplacesCollection();
    void releasingPnrFreesTree();
    void extendedPnrStartsEmpty();
    void extendedIntegerProperty();
    void extendedItnHasNoStopOver();
    void collectionRefusesOtherLibrarysMember();

private:
    std::unique_ptr<TestHome> m_home;
};

void TestKorvaModel::registryHoldsBothLibraries_data() {
    QTest::addColumn<QString>("progId");
    QTest::addColumn<QString>("library");
    for (const char* name : {"PNR", "PAX", "PAXS", "ITN", "ITNS", "CRL", "CRLS"}) {
        QTest::addRow("KORVA.%s", name) << QStringLiteral("KORVA.") + name << "libkorva.so";
        QTest::addRow("KORVA1.%s", name) << QStringLiteral("KORVA1.") + name << "libkorva1.so";
    }
}

void TestKorvaModel::registryHoldsBothLibraries() {
    QFETCH(QString, progId);
    QFETCH(QString, library);
    const auto entry = com::ClassRegistry().findProgId(progId.toStdString());
    QVERIFY(entry);
    QCOMPARE(entry->threadingModel, "Apartment");
    QVERIFY(QString::fromStdString(entry->library).endsWith('/' + library));

    const auto korva = com::ClassRegistry().findTypeLib(KORVA::LIBID_KORVA);
    QVERIFY(korva);
    QCOMPARE(korva->name, "KORVA");
    QCOMPARE(korva->majorVersion, 6);
    QCOMPARE(korva->minorVersion, 0);
    QCOMPARE(korva->locale, 1033u);
    const auto korva1 = com::ClassRegistry().findTypeLib(KORVA1::LIBID_KORVA1);
    QVERIFY(korva1);
    QCOMPARE(korva1->name, "KORVA1");
    QCOMPARE(korva1->majorVersion, 1);
}

void TestKorvaModel::identifiersAreDistinct() {
    const com::GUID ids[] = {
        KORVA::LIBID_KORVA, KORVA::CLSID_PNR,  KORVA::CLSID_PAX,   KORVA::CLSID_PAXS,
        KORVA::CLSID_ITN,   KORVA::CLSID_ITNS, KORVA::CLSID_CRL,   KORVA::CLSID_CRLS,
        KORVA::IID_PNR,     KORVA::IID_PAX,    KORVA::IID_PAXS,    KORVA::IID_ITN,
        KORVA::IID_ITNS,    KORVA::IID_CRL,    KORVA::IID_CRLS,    KORVA1::LIBID_KORVA1,
        KORVA1::CLSID_PNR,  KORVA1::CLSID_PAX, KORVA1::CLSID_PAXS, KORVA1::CLSID_ITN,
        KORVA1::CLSID_ITNS, KORVA1::CLSID_CRL, KORVA1::CLSID_CRLS, KORVA1::IID_PNR,
        KORVA1::IID_PAX,    KORVA1::IID_PAXS,  KORVA1::IID_ITN,    KORVA1::IID_ITNS,
        KORVA1::IID_CRL,    KORVA1::IID_CRLS};
    QSet<QString> seen;
    for (const com::GUID& id : ids)
        seen.insert(QString::fromStdString(com::toString(id)));
    QCOMPARE(seen.size(), qsizetype(std::size(ids)));
}

void TestKorvaModel::memberSlotsFollowDocumentedOrder_data() {
    QTest::addColumn<com::GUID>("clsid");
    QTest::addColumn<int>("objectMembers");   // leading object properties (get, putref)
    QTest::addColumn<QStringList>("members"); // text or integer properties (put, get)
    QTest::newRow("KORVA PNR") << KORVA::CLSID_PNR << 3 << kPnrTexts;
    QTest::newRow("KORVA PAX") << KORVA::CLSID_PAX << 0 << kPaxTexts;
    QTest::newRow("KORVA ITN") << KORVA::CLSID_ITN << 0 << kItnTexts;
    QTest::newRow("KORVA CRL") << KORVA::CLSID_CRL << 0 << kCrlTexts;
    QTest::newRow("KORVA1 PAX") << KORVA1::CLSID_PAX << 0 << kPax1Texts;
    QTest::newRow("KORVA1 ITN") << KORVA1::CLSID_ITN << 0 << kItn1Texts;
    QTest::newRow("KORVA1 CRL") << KORVA1::CLSID_CRL << 0 << kCrlTexts;
}

// Puts a distinct text through each raw put slot and reads it back by name:
// a member out of order would show up under another name.
void TestKorvaModel::memberSlotsFollowDocumentedOrder() {
    QFETCH(com::GUID, clsid);
    QFETCH(int, objectMembers);
    QFETCH(QStringList, members);
    auto object = activate<com::IDispatch>(clsid);
    QVERIFY(object);
    for (int i = 0; i < members.size(); ++i) {
        const std::size_t put = kFirstOwnSlot + 2 * std::size_t(objectMembers + i);
        const com::Bstr value(wide(QStringLiteral("value of ") + members[i]));
        QCOMPARE(callSlot(object.get(), put, value.get()), com::S_OK);
        com::Bstr back;
        QCOMPARE(callSlot(object.get(), put + 1, back.receive()), com::S_OK);
        QCOMPARE(toQString(back.view()), QStringLiteral("value of ") + members[i]);
        QCOMPARE(getTextByName(object.get(), members[i]), QStringLiteral("value of ") + members[i]);
    }
}

void TestKorvaModel::newPnrIsEmpty() {
    auto pnr = activate<KORVA::_PNR>(KORVA::CLSID_PNR);
    QVERIFY(pnr);
    for (const char* name : {"PAXS", "ITNS", "CRLS"}) {
        DispatchResult r = invokeByName(pnr.get(), name, com::DISPATCH_PROPERTYGET);
        QCOMPARE(r.hr, com::S_OK);
        QCOMPARE(r.value.type(), com::VT_DISPATCH);
        std::int32_t n = -1;
        QCOMPARE(count(r.value.get()->pdispVal, n), com::S_OK);
        QCOMPARE(n, 0);
    }
    for (const QString& name : kPnrTexts) {
        com::Bstr value;
        DispatchResult r = invokeByName(pnr.get(), name, com::DISPATCH_PROPERTYGET);
        QCOMPARE(r.value.type(), com::VT_BSTR);
        QVERIFY2(com::bstrView(r.value.get()->bstrVal).empty(), qPrintable(name));
    }
    com::Bstr rloc;
    QCOMPARE(pnr->get_RLOC_CD(rloc.receive()), com::S_OK);
    QCOMPARE(rloc.get(), nullptr); // a null string until something is put
}

void TestKorvaModel::textKeepsExactValue_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("blanks around") << QStringLiteral("  CI 123 ");
    QTest::newRow("empty") << QString();
    QTest::newRow("traditional chinese") << QString::fromUtf8("王小明 先生");
    QTest::newRow("embedded zero") << QString::fromUtf16(u"A\0B", 3);
    QTest::newRow("long") << QString(5000, 'x');
}

void TestKorvaModel::textKeepsExactValue() {
    QFETCH(QString, value);
    auto pax = activate<KORVA::_PAX>(KORVA::CLSID_PAX);
    QVERIFY(pax);
    const com::Bstr in(wide(value));
    QCOMPARE(pax->put_PAX_NM(in.get()), com::S_OK);
    com::Bstr out;
    QCOMPARE(pax->get_PAX_NM(out.receive()), com::S_OK);
    QCOMPARE(toQString(out.view()), value);

    QCOMPARE(putTextByName(pax.get(), "TKT_NO", value), com::S_OK);
    QCOMPARE(pax->get_TKT_NO(out.receive()), com::S_OK);
    QCOMPARE(toQString(out.view()), value);
}

void TestKorvaModel::namesResolveWithoutRegardToCase() {
    auto itn = activate<KORVA::_ITN>(KORVA::CLSID_ITN);
    QCOMPARE(putTextByName(itn.get(), "itn_idx", "01"), com::S_OK);
    QCOMPARE(getTextByName(itn.get(), "ITN_IDX"), "01");
}

void TestKorvaModel::unknownNameFails() {
    auto pnr = activate<KORVA::_PNR>(KORVA::CLSID_PNR);
    QCOMPARE(invokeByName(pnr.get(), "NO_SUCH", com::DISPATCH_PROPERTYGET).hr,
             com::DISP_E_UNKNOWNNAME);
    com::Variant result;
    QCOMPARE(pnr->Invoke(999, com::GUID_NULL, 0, com::DISPATCH_PROPERTYGET, nullptr, result.get(),
                         nullptr, nullptr),
             com::DISP_E_MEMBERNOTFOUND);
}

void TestKorvaModel::itemFindsByKeyNotPosition() {
    auto pnr = activate<KORVA::_PNR>(KORVA::CLSID_PNR);
    com::ComPtr<KORVA::_PAXS> paxs;
    QCOMPARE(pnr->get_PAXS(paxs.receive()), com::S_OK);
    std::vector<com::ComPtr<KORVA::_PAX>> added;
    for (std::int16_t zcnt : {1, 2, 3}) {
        auto pax = activate<KORVA::_PAX>(KORVA::CLSID_PAX);
        com::ComPtr<KORVA::_PAX> returned;
        QCOMPARE(add(paxs.get(), pax.get(), zcnt, &returned), com::S_OK);
        QCOMPARE(identity(returned.get()), identity(pax.get())); // Add returns the member given
        added.push_back(pax);
    }
    const auto byNumber = item(paxs.get(), com::Variant(std::int32_t(2)));
    const auto byText = item(paxs.get(), com::Variant(std::u16string_view(u"2")));
    QVERIFY(byNumber && byText);
    QCOMPARE(identity(byNumber.get()), identity(added[1].get()));
    QCOMPARE(identity(byText.get()), identity(added[1].get()));

    // zcnt 5 then 1: Item 1 is the second one added.
    com::ComPtr<KORVA::_CRLS> crls;
    QCOMPARE(pnr->get_CRLS(crls.receive()), com::S_OK);
    auto first = activate<KORVA::_CRL>(KORVA::CLSID_CRL);
    auto second = activate<KORVA::_CRL>(KORVA::CLSID_CRL);
    QCOMPARE(add(crls.get(), first.get(), 5), com::S_OK);
    QCOMPARE(add(crls.get(), second.get(), 1), com::S_OK);
    QCOMPARE(identity(item(crls.get(), com::Variant(std::int16_t(1))).get()),
             identity(second.get()));
}

void TestKorvaModel::removeTakesPositionForNumberAndKeyForText() {
    auto crls = activate<KORVA::_CRLS>(KORVA::CLSID_CRLS);
    auto first = activate<KORVA::_CRL>(KORVA::CLSID_CRL);
    auto second = activate<KORVA::_CRL>(KORVA::CLSID_CRL);
    QCOMPARE(add(crls.get(), first.get(), 5), com::S_OK);
    QCOMPARE(add(crls.get(), second.get(), 1), com::S_OK);

    com::Variant position(std::int32_t(1));
    QCOMPARE(crls->Remove(position.get()), com::S_OK); // the first added, key "5"
    com::HRESULT hr = com::S_OK;
    item(crls.get(), com::Variant(std::u16string_view(u"5")), &hr);
    QCOMPARE(hr, kInvalidArgument);
    QCOMPARE(identity(item(crls.get(), com::Variant(std::int32_t(1))).get()),
             identity(second.get()));

    com::Variant key(std::u16string_view(u"1"));
    QCOMPARE(crls->Remove(key.get()), com::S_OK);
    std::int32_t n = -1;
    QCOMPARE(crls->get_Count(&n), com::S_OK);
    QCOMPARE(n, 0);
}

void TestKorvaModel::duplicateKeyFailsAndAddsNothing() {
    auto itns = activate<KORVA::_ITNS>(KORVA::CLSID_ITNS);
    auto a = activate<KORVA::_ITN>(KORVA::CLSID_ITN);
    auto b = activate<KORVA::_ITN>(KORVA::CLSID_ITN);
    QCOMPARE(add(itns.get(), a.get(), 1), com::S_OK);
    com::ComPtr<KORVA::_ITN> returned;
    QCOMPARE(add(itns.get(), b.get(), 1, &returned), kDuplicateKey);
    QVERIFY(!returned);
    const auto info = com::takeErrorInfo();
    QVERIFY(info);
    QCOMPARE(info->code, kDuplicateKey);
    QCOMPARE(toQString(info->description),
             "This key is already associated with an element of this collection");
    std::int32_t n = -1;
    QCOMPARE(itns->get_Count(&n), com::S_OK);
    QCOMPARE(n, 1);
    QCOMPARE(identity(item(itns.get(), com::Variant(std::int32_t(1))).get()), identity(a.get()));
}

void TestKorvaModel::missingKeyOrPositionFails_data() {
    QTest::addColumn<bool>("remove");
    QTest::addColumn<com::Variant>("key");
    QTest::newRow("item, absent number") << false << com::Variant(std::int32_t(3));
    QTest::newRow("item, absent text") << false << com::Variant(std::u16string_view(u"x"));
    QTest::newRow("item, empty") << false << com::Variant();
    QTest::newRow("item, key with blank") << false << com::Variant(std::u16string_view(u" 1"));
    QTest::newRow("remove, position 0") << true << com::Variant(std::int16_t(0));
    QTest::newRow("remove, position past end") << true << com::Variant(std::int32_t(2));
    QTest::newRow("remove, absent key") << true << com::Variant(std::u16string_view(u"2"));
    QTest::newRow("remove, empty") << true << com::Variant();
}

void TestKorvaModel::missingKeyOrPositionFails() {
    QFETCH(bool, remove);
    QFETCH(com::Variant, key);
    auto paxs = activate<KORVA::_PAXS>(KORVA::CLSID_PAXS);
    auto pax = activate<KORVA::_PAX>(KORVA::CLSID_PAX);
    QCOMPARE(add(paxs.get(), pax.get(), 1), com::S_OK);
    com::HRESULT hr = com::S_OK;
    if (remove)
        hr = paxs->Remove(key.get());
    else
        QVERIFY(!item(paxs.get(), key, &hr));
    QCOMPARE(hr, kInvalidArgument);
    const auto info = com::takeErrorInfo();
    QVERIFY(info);
    QCOMPARE(toQString(info->description), "Invalid procedure call or argument");
    std::int32_t n = -1;
    QCOMPARE(paxs->get_Count(&n), com::S_OK);
    QCOMPARE(n, 1);
}

void TestKorvaModel::dispatchReportsCollectionErrors() {
    auto pnr = activate<KORVA::_PNR>(KORVA::CLSID_PNR);
    DispatchResult paxs = invokeByName(pnr.get(), "PAXS", com::DISPATCH_PROPERTYGET);
    com::IDispatch* collection = paxs.value.get()->pdispVal;
    auto pax = activate<com::IDispatch>(KORVA::CLSID_PAX);

    DispatchResult r = invokeByName(collection, "Add", com::DISPATCH_METHOD,
                                    {com::Variant(pax.get()), com::Variant(std::int16_t(7))});
    QCOMPARE(r.hr, com::S_OK);
    QCOMPARE(r.value.type(), com::VT_DISPATCH);
    QCOMPARE(identity(r.value.get()->pdispVal), identity(pax.get()));

    r = invokeByName(collection, "Add", com::DISPATCH_METHOD,
                     {com::Variant(pax.get()), com::Variant(std::int32_t(7))});
    QCOMPARE(r.hr, com::DISP_E_EXCEPTION);
    QCOMPARE(r.scode, kDuplicateKey);
    QVERIFY(r.description.contains("already associated"));

    r = invokeByName(collection, "Item", com::DISPATCH_METHOD | com::DISPATCH_PROPERTYGET,
                     {com::Variant(std::int32_t(8))});
    QCOMPARE(r.hr, com::DISP_E_EXCEPTION);
    QCOMPARE(r.scode, kInvalidArgument);

    r = invokeByName(collection, "Count", com::DISPATCH_PROPERTYGET);
    QCOMPARE(r.value.type(), com::VT_I4);
    QCOMPARE(r.value.get()->lVal, 1);

    r = invokeByName(collection, "Add", com::DISPATCH_METHOD,
                     {com::Variant(pax.get()), com::Variant(std::int32_t(40000))});
    QCOMPARE(r.hr, com::DISP_E_OVERFLOW); // zcnt is 16 bits
}

void TestKorvaModel::newEnumListsMembersInOrder() {
    auto itns = activate<KORVA::_ITNS>(KORVA::CLSID_ITNS);
    std::vector<com::ComPtr<KORVA::_ITN>> members;
    for (std::int16_t zcnt : {3, 1, 2}) {
        members.push_back(activate<KORVA::_ITN>(KORVA::CLSID_ITN));
        QCOMPARE(add(itns.get(), members.back().get(), zcnt), com::S_OK);
    }
    com::ComPtr<com::IUnknown> unknown;
    QCOMPARE(itns->get_NewEnum(unknown.receive()), com::S_OK);
    auto enumerator = unknown.query<com::IEnumVARIANT>();
    QVERIFY(enumerator);
    com::VARIANT items[4];
    com::ULONG fetched = 0;
    QCOMPARE(enumerator->Next(4, items, &fetched), com::S_FALSE);
    QCOMPARE(fetched, 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        QCOMPARE(identity(items[i].pdispVal), identity(members[i].get()));
        com::VariantClear(&items[i]);
    }
}

void TestKorvaModel::putrefReplacesCollection() {
    auto pnr = activate<KORVA::_PNR>(KORVA::CLSID_PNR);
    auto other = activate<KORVA::_CRLS>(KORVA::CLSID_CRLS);
    QCOMPARE(pnr->putref_CRLS(other.get()), com::S_OK);
    com::ComPtr<KORVA::_CRLS> held;
    QCOMPARE(pnr->get_CRLS(held.receive()), com::S_OK);
    QCOMPARE(identity(held.get()), identity(other.get()));
    QCOMPARE(pnr->putref_CRLS(nullptr), com::S_OK);
    QCOMPARE(pnr->get_CRLS(held.receive()), com::S_OK);
    QVERIFY(!held);

    // By name, an object of the wrong interface is refused.
    auto pax = activate<com::IDispatch>(KORVA::CLSID_PAX);
    const DispatchResult r =
        invokeByName(pnr.get(), "ITNS", com::DISPATCH_PROPERTYPUTREF, {com::Variant(pax.get())});
    QCOMPARE(r.hr, com::DISP_E_TYPEMISMATCH);
}

void TestKorvaModel::releasingPnrFreesTree() {
    const auto entry = com::ClassRegistry().findClass(KORVA::CLSID_PNR);
    QVERIFY(entry);
    com::ServerModule module;
    QCOMPARE(com::loadServer(entry->library, com::ServerUse::Activation, module), com::S_OK);
    QCOMPARE(module.canUnloadNow(), com::S_OK);

    auto kept = activate<KORVA::_PAX>(KORVA::CLSID_PAX);
    {
        auto pnr = activate<KORVA::_PNR>(KORVA::CLSID_PNR);
        com::ComPtr<KORVA::_PAXS> paxs;
        QCOMPARE(pnr->get_PAXS(paxs.receive()), com::S_OK);
        QCOMPARE(add(paxs.get(), kept.get(), 1), com::S_OK);
        auto dropped = activate<KORVA::_PAX>(KORVA::CLSID_PAX);
        QCOMPARE(add(paxs.get(), dropped.get(), 2), com::S_OK);
        QCOMPARE(module.canUnloadNow(), com::S_FALSE);
    }
    // Only the member the caller still holds is alive.
    QCOMPARE(module.canUnloadNow(), com::S_FALSE);
    QCOMPARE(kept->AddRef(), 2u);
    QCOMPARE(kept->Release(), 1u);
    kept.reset();
    QCOMPARE(module.canUnloadNow(), com::S_OK);

    // A collection the caller holds outlives its PNR.
    com::ComPtr<KORVA::_ITNS> itns;
    {
        auto pnr = activate<KORVA::_PNR>(KORVA::CLSID_PNR);
        QCOMPARE(pnr->get_ITNS(itns.receive()), com::S_OK);
    }
    std::int32_t n = -1;
    QCOMPARE(itns->get_Count(&n), com::S_OK);
    QCOMPARE(n, 0);
    itns.reset();
    QCOMPARE(module.canUnloadNow(), com::S_OK);
}

void TestKorvaModel::extendedPnrStartsEmpty() {
    auto pnr = activate<KORVA1::_PNR>(KORVA1::CLSID_PNR);
    QVERIFY(pnr);
    for (const QString& name : kPnr1Head + kPnrTexts) {
        DispatchResult r = invokeByName(pnr.get(), name, com::DISPATCH_PROPERTYGET);
        QCOMPARE(r.hr, com::S_OK);
        if (name.startsWith("TAX_AM") && name != "TAX_AMB") {
            QCOMPARE(r.value.type(), com::VT_I4);
            QCOMPARE(r.value.get()->lVal, 0);
        } else {
            QCOMPARE(r.value.type(), com::VT_BSTR);
            QVERIFY(com::bstrView(r.value.get()->bstrVal).empty());
        }
    }
    // The object properties follow the 14 new ones.
    com::ComPtr<KORVA1::_PAXS> paxs;
    QCOMPARE(callSlot(pnr.get(), kFirstOwnSlot + 2 * 14, paxs.receive()), com::S_OK);
    QVERIFY(paxs);
}

void TestKorvaModel::extendedIntegerProperty() {
    auto pnr = activate<KORVA1::_PNR>(KORVA1::CLSID_PNR);
    QCOMPARE(pnr->put_TAX_AM2(1234), com::S_OK);
    std::int32_t value = 0;
    QCOMPARE(pnr->get_TAX_AM2(&value), com::S_OK);
    QCOMPARE(value, 1234);
    DispatchResult r = invokeByName(pnr.get(), "TAX_AM2", com::DISPATCH_PROPERTYGET);
    QCOMPARE(r.value.type(), com::VT_I4);
    QCOMPARE(r.value.get()->lVal, 1234);
    // By name a text that reads as a number is converted; other text is refused.
    QCOMPARE(invokeByName(pnr.get(), "TAX_AM3", com::DISPATCH_PROPERTYPUT,
                          {com::Variant(std::u16string_view(u"-7"))})
                 .hr,
             com::S_OK);
    QCOMPARE(pnr->get_TAX_AM3(&value), com::S_OK);
    QCOMPARE(value, -7);
    QCOMPARE(invokeByName(pnr.get(), "TAX_AM3", com::DISPATCH_PROPERTYPUT,
                          {com::Variant(std::u16string_view(u"abc"))})
                 .hr,
             com::DISP_E_TYPEMISMATCH);
}

void TestKorvaModel::extendedItnHasNoStopOver() {
    auto itn = activate<com::IDispatch>(KORVA1::CLSID_ITN);
    QCOMPARE(invokeByName(itn.get(), "STOP_OV", com::DISPATCH_PROPERTYGET).hr,
             com::DISP_E_UNKNOWNNAME);
    QCOMPARE(putTextByName(itn.get(), "SEAT_STR", "12A"), com::S_OK);
    QCOMPARE(getTextByName(itn.get(), "SEAT_STR"), "12A");
}

void TestKorvaModel::collectionRefusesOtherLibrarysMember() {
    auto paxs = activate<KORVA1::_PAXS>(KORVA1::CLSID_PAXS);
    auto foreign = activate<KORVA::_PAX>(KORVA::CLSID_PAX);
    QVERIFY(paxs && foreign);
    // Through the vtable, as a careless caller could pass it.
    auto* disguised = reinterpret_cast<KORVA1::_PAX*>(foreign.get());
    std::int16_t zcnt = 1;
    KORVA1::_PAX* result = nullptr;
    QVERIFY(com::FAILED(paxs->Add(&disguised, &zcnt, &result)));
    QVERIFY(!result);
    // And by name.
    const DispatchResult r = invokeByName(
        paxs.get(), "Add", com::DISPATCH_METHOD,
        {com::Variant(static_cast<com::IDispatch*>(foreign.get())), com::Variant(std::int16_t(1))});
    QCOMPARE(r.hr, com::DISP_E_TYPEMISMATCH);
    std::int32_t n = -1;
    QCOMPARE(paxs->get_Count(&n), com::S_OK);
    QCOMPARE(n, 0);

    auto own = activate<KORVA1::_PAX>(KORVA1::CLSID_PAX);
    QCOMPARE(add(paxs.get(), own.get(), 1), com::S_OK);
}

QTEST_GUILESS_MAIN(TestKorvaModel)
#include "test_korvamodel.moc"
