// The bytes a server sends before anything about it is trusted: its PRELOGIN answer, its TLS greeting up to
// the certificate, and that certificate. Any bytes are read without a fault; the greeting reads the same
// whether its bytes come at once, cut in two, or one at a time; a certificate found is read or refused.
// The input is raw bytes; the first byte says where the greeting is cut in two.

#include "FuzzInput.h"

#include "core/db/secure/Certificate.h"
#include "core/db/secure/ServerProbe.h"
#include "core/db/secure/TlsGreeting.h"

namespace {

using fuzz::require;

bool sameReading(const quorix::TlsGreetingReader &a, const quorix::TlsGreetingReader &b) {
    return a.finished() == b.finished() && a.certificate() == b.certificate() && a.failure() == b.failure();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    if (const auto offer = quorix::preloginEncryption(bytes))
        require(static_cast<int>(*offer) >= 0 && static_cast<int>(*offer) <= 3,
                "an encryption value is 0 to 3");

    quorix::TlsGreetingReader whole;
    whole.feed(bytes);
    quorix::TlsGreetingReader halves;
    const qsizetype cut = size ? data[0] % (bytes.size() + 1) : 0;
    halves.feed(bytes.left(cut));
    halves.feed(bytes.mid(cut));
    require(sameReading(whole, halves), "a greeting cut in two reads as a whole one");
    if (size <= 512) {
        quorix::TlsGreetingReader bytewise;
        for (const char b : bytes)
            bytewise.feed(QByteArray(1, b));
        require(sameReading(whole, bytewise), "a greeting fed a byte at a time reads as a whole one");
    }
    if (whole.certificate()) {
        require(whole.certificate()->size() <= bytes.size(), "a certificate found is made of the bytes sent");
        (void)quorix::parseCertificate(*whole.certificate());
    }

    (void)quorix::parseCertificate(bytes);
    (void)quorix::certificatesInPem(bytes);
    (void)quorix::certificateDerFromPem(bytes);
    return 0;
}
