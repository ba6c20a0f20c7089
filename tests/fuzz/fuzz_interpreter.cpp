// libFuzzer entry point for the MIR interpreter and the document reader. Each
// input is interpreted twice: as it is, and with "T5" and a matching declared
// length written into its header, so that most inputs get past the verdict
// and fill a tree. The document reader reads both forms too.

#include "interpreter.h"
#include "mirdocuments.h"
#include "mirtext.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

namespace {

// The input turned into a complete MIR record, when its text is short enough
// for a five-digit declared length.
QByteArray declaredComplete(const QByteArray& input) {
    QByteArray bytes = input;
    if (bytes.size() < 15)
        bytes.append(QByteArray(15 - bytes.size(), ' '));
    // With no line end among the first 15 bytes they are the text's first 15 characters.
    for (qsizetype i = 0; i < 15; ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n')
            bytes[i] = ' ';
    }
    bytes.replace(0, 2, "T5");
    bytes.replace(10, 5, "00000");
    const qsizetype declared = mir::mirTextFromBytes(bytes).size() - 1;
    if (declared > 99999)
        return {};
    bytes.replace(10, 5, QByteArray::number(declared).rightJustified(5, '0'));
    return bytes;
}

// Reads the whole tree back, as the record phase would.
void readTree(const mir::Interpretation& result) {
    if (!result.pnr)
        return;
    const korva::Pnr& pnr = *result.pnr;
    (void)pnr.get("TAX_AMB");
    const auto paxs = pnr.paxs();
    for (int key = 1; key <= paxs.count(); ++key)
        (void)paxs.item(key).get("TKT_TAX");
    const auto itns = pnr.itns();
    for (int key = 1; key <= itns.count(); ++key)
        (void)itns.item(key).get("FLT_NO");
    const auto crls = pnr.crls();
    for (int key = 1; key <= crls.count(); ++key)
        (void)crls.item(key).get("RLOC_CD");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // KORVA is activated through the class registry that the build wrote.
    setenv("XDG_CONFIG_HOME", KESTO_FUZZ_CONFIG_HOME, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    readTree(mir::interpretMir(input));
    (void)mir::documents::readDocuments(input);
    const QByteArray complete = declaredComplete(input);
    if (!complete.isEmpty()) {
        // Every event names a 13-digit document, however the bytes ran.
        for (const mir::documents::DocumentEvent& event :
             mir::documents::readDocuments(complete).events) {
            if (event.number.size() != 13)
                std::abort();
        }
        const mir::Interpretation result = mir::interpretMir(complete);
        if (result.verdict != mir::Verdict::Interpreted)
            std::abort();
        readTree(result);
    }
    return 0;
}
