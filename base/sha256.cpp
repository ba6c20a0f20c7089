#include "sha256.h"

#include <QCryptographicHash>

#include <openssl/evp.h>

#include <memory>

namespace {

struct MdFree {
    void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};
struct MdContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// Fetched once: looking the algorithm up on each call costs more than
// hashing a MIR file.
const EVP_MD* sha256Algorithm() {
    static const std::unique_ptr<EVP_MD, MdFree> algorithm(
        EVP_MD_fetch(nullptr, "SHA256", nullptr));
    return algorithm.get();
}

} // namespace

QByteArray sha256(QByteArrayView bytes) {
    thread_local const std::unique_ptr<EVP_MD_CTX, MdContextFree> context(EVP_MD_CTX_new());
    const EVP_MD* algorithm = sha256Algorithm();
    QByteArray digest(32, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(digest.data());
    unsigned int size = 0;
    const bool made = context && algorithm &&
                      EVP_DigestInit_ex2(context.get(), algorithm, nullptr) == 1 &&
                      EVP_DigestUpdate(context.get(), bytes.data(), size_t(bytes.size())) == 1 &&
                      EVP_DigestFinal_ex(context.get(), out, &size) == 1 && size == 32;
    // The same digest, slower, from Qt: OpenSSL's may be refused by a
    // configuration that allows no such algorithm.
    return made ? digest : QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}
