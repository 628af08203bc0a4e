#include "core/db/secure/Certificate.h"

#include <QCryptographicHash>
#include <QtEndian>

namespace quorix {

namespace {

// One DER element: tag, then the value's bytes.
struct Tlv {
    unsigned char tag = 0;
    QByteArray value;
};

class Der {
public:
    explicit Der(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    bool atEnd() const { return m_pos >= m_bytes.size(); }
    std::optional<Tlv> next() {
        if (m_pos + 2 > m_bytes.size())
            return std::nullopt;
        Tlv t;
        t.tag = static_cast<unsigned char>(m_bytes[m_pos++]);
        qsizetype len = static_cast<unsigned char>(m_bytes[m_pos++]);
        if (len & 0x80) {
            const int count = static_cast<int>(len & 0x7f);
            if (count == 0 || count > 4 || m_pos + count > m_bytes.size())
                return std::nullopt;
            len = 0;
            for (int i = 0; i < count; ++i)
                len = (len << 8) | static_cast<unsigned char>(m_bytes[m_pos++]);
        }
        if (len < 0 || m_pos + len > m_bytes.size())
            return std::nullopt;
        t.value = m_bytes.mid(m_pos, len);
        m_pos += len;
        return t;
    }

private:
    QByteArray m_bytes;
    qsizetype m_pos = 0;
};

QString oidName(const QByteArray &oid) {
    static const struct {
        const char *bytes;
        const char *name;
    } known[] = {{"\x55\x04\x03", "CN"}, {"\x55\x04\x06", "C"}, {"\x55\x04\x07", "L"},
                 {"\x55\x04\x08", "ST"}, {"\x55\x04\x0a", "O"}, {"\x55\x04\x0b", "OU"}};
    for (const auto &k : known)
        if (oid == QByteArray(k.bytes))
            return QLatin1String(k.name);
    return QString::fromLatin1(oid.toHex());
}

QString stringValue(const Tlv &t) {
    if (t.tag == 0x1e) { // BMPString: UTF-16 big-endian
        QString s;
        for (qsizetype i = 0; i + 1 < t.value.size(); i += 2)
            s += QChar((static_cast<unsigned char>(t.value[i]) << 8) |
                       static_cast<unsigned char>(t.value[i + 1]));
        return s;
    }
    return t.tag == 0x0c ? QString::fromUtf8(t.value) : QString::fromLatin1(t.value);
}

// A Name: RDNs in order, "CN=x, O=y"; the common name on the side.
QString nameText(const QByteArray &name, QString *commonName = nullptr) {
    QStringList parts;
    Der rdns(name);
    while (auto set = rdns.next()) {
        Der atts(set->value);
        while (auto att = atts.next()) {
            Der pair(att->value);
            const auto oid = pair.next();
            const auto value = pair.next();
            if (!oid || !value)
                continue;
            const QString key = oidName(oid->value);
            parts << key + QLatin1Char('=') + stringValue(*value);
            if (key == QLatin1String("CN") && commonName)
                *commonName = stringValue(*value);
        }
    }
    return parts.join(QStringLiteral(", "));
}

QDateTime timeValue(const Tlv &t) {
    QString text = QString::fromLatin1(t.value);
    if (t.tag == 0x17) { // UTCTime: two-digit year, 50 and above in the 1900s
        const int yy = text.left(2).toInt();
        text.prepend(QLatin1String(yy >= 50 ? "19" : "20"));
    }
    QDateTime d = QDateTime::fromString(text.left(14), QStringLiteral("yyyyMMddHHmmss"));
    d.setTimeSpec(Qt::UTC);
    return d;
}

QString ipText(const QByteArray &bytes) {
    QStringList parts;
    if (bytes.size() == 4) {
        for (const char b : bytes)
            parts << QString::number(static_cast<unsigned char>(b));
        return parts.join(QLatin1Char('.'));
    }
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        parts << QString::number(qFromBigEndian<quint16>(bytes.constData() + i), 16);
    return parts.join(QLatin1Char(':'));
}

void readAltNames(const QByteArray &extnValue, CertificateInfo &info) {
    Der outer(extnValue);
    const auto seq = outer.next();
    if (!seq)
        return;
    Der names(seq->value);
    while (auto n = names.next()) {
        if (n->tag == 0x82)
            info.dnsNames << QString::fromLatin1(n->value);
        else if (n->tag == 0x87 && (n->value.size() == 4 || n->value.size() == 16))
            info.ipAddresses << ipText(n->value);
    }
}

void readExtensions(const QByteArray &wrapped, CertificateInfo &info) {
    Der outer(wrapped);
    const auto list = outer.next();
    if (!list)
        return;
    Der extensions(list->value);
    while (auto ext = extensions.next()) {
        Der fields(ext->value);
        const auto oid = fields.next();
        auto value = fields.next();
        if (value && value->tag == 0x01) // critical
            value = fields.next();
        if (oid && value && oid->value == QByteArray("\x55\x1d\x11"))
            readAltNames(value->value, info);
    }
}

// The address's bytes (4 or 16), or empty when text is no IP address. IPv6 may shorten with "::".
QByteArray ipBytes(const QString &text) {
    const QStringList v4 = text.split(QLatin1Char('.'));
    if (v4.size() == 4) {
        QByteArray out;
        for (const QString &p : v4) {
            bool ok = false;
            const int n = p.toInt(&ok);
            if (!ok || n < 0 || n > 255 || p.isEmpty())
                return {};
            out += static_cast<char>(n);
        }
        return out;
    }
    if (!text.contains(QLatin1Char(':')))
        return {};
    const qsizetype gap = text.indexOf(QLatin1String("::"));
    const auto groups = [](const QString &part) {
        return part.isEmpty() ? QStringList() : part.split(QLatin1Char(':'));
    };
    QStringList head = groups(gap < 0 ? text : text.left(gap));
    const QStringList tail = gap < 0 ? QStringList() : groups(text.mid(gap + 2));
    if (gap < 0 && head.size() != 8)
        return {};
    while (head.size() + tail.size() < 8)
        head << QStringLiteral("0");
    head << tail;
    if (head.size() != 8)
        return {};
    QByteArray out;
    for (const QString &g : head) {
        bool ok = false;
        const uint v = g.toUInt(&ok, 16);
        if (!ok || v > 0xffff)
            return {};
        out += static_cast<char>(v >> 8);
        out += static_cast<char>(v & 0xff);
    }
    return out;
}

bool labelMatches(const QString &pattern, const QString &host) {
    if (pattern.compare(host, Qt::CaseInsensitive) == 0)
        return true;
    if (!pattern.startsWith(QLatin1String("*.")))
        return false;
    const qsizetype dot = host.indexOf(QLatin1Char('.'));
    return dot > 0 && host.mid(dot).compare(pattern.mid(1), Qt::CaseInsensitive) == 0;
}

} // namespace

QString fingerprintText(const QByteArray &digest) {
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

QString normalisedFingerprint(const QString &typed) {
    QString hex;
    for (const QChar c : typed)
        if (c.isLetterOrNumber())
            hex += c.toUpper();
    QStringList pairs;
    for (qsizetype i = 0; i + 1 < hex.size(); i += 2)
        pairs << hex.mid(i, 2);
    return pairs.join(QLatin1Char(':'));
}

QString CertificateInfo::sha256() const {
    return fingerprintText(QCryptographicHash::hash(der, QCryptographicHash::Sha256));
}

bool CertificateInfo::names(const QString &host) const {
    const QByteArray address = ipBytes(host);
    if (!address.isEmpty()) {
        for (const QString &ip : ipAddresses)
            if (ipBytes(ip) == address)
                return true;
        return false;
    }
    if (!dnsNames.isEmpty()) {
        for (const QString &n : dnsNames)
            if (labelMatches(n, host))
                return true;
        return false;
    }
    return labelMatches(commonName, host);
}

std::optional<CertificateInfo> parseCertificate(const QByteArray &der) {
    Der top(der);
    const auto cert = top.next();
    if (!cert || cert->tag != 0x30)
        return std::nullopt;
    Der certFields(cert->value);
    const auto tbs = certFields.next();
    if (!tbs || tbs->tag != 0x30)
        return std::nullopt;
    Der f(tbs->value);
    auto field = f.next();
    if (field && field->tag == 0xa0) // version
        field = f.next();
    // field: serial number; then signature algorithm, issuer, validity, subject, key, extensions
    const auto algorithm = f.next();
    const auto issuer = f.next();
    const auto validity = f.next();
    const auto subject = f.next();
    if (!field || !algorithm || !issuer || !validity || !subject || issuer->tag != 0x30 ||
        subject->tag != 0x30)
        return std::nullopt;
    CertificateInfo info;
    info.der = der;
    info.issuer = nameText(issuer->value);
    info.subject = nameText(subject->value, &info.commonName);
    Der times(validity->value);
    if (auto from = times.next())
        info.notBefore = timeValue(*from);
    if (auto until = times.next())
        info.notAfter = timeValue(*until);
    f.next(); // subject public key
    while (auto rest = f.next())
        if (rest->tag == 0xa3)
            readExtensions(rest->value, info);
    return info;
}

QString certificatePem(const QByteArray &der) {
    const QByteArray b64 = der.toBase64();
    QString pem = QStringLiteral("-----BEGIN CERTIFICATE-----\n");
    for (qsizetype i = 0; i < b64.size(); i += 64)
        pem += QString::fromLatin1(b64.mid(i, 64)) + QLatin1Char('\n');
    pem += QStringLiteral("-----END CERTIFICATE-----\n");
    return pem;
}

QList<QByteArray> certificatesInPem(const QByteArray &pem) {
    QList<QByteArray> out;
    const QByteArray end = "-----END CERTIFICATE-----";
    qsizetype from = 0;
    while (true) {
        const qsizetype e = pem.indexOf(end, from);
        if (e < 0)
            break;
        if (const auto der = certificateDerFromPem(pem.mid(from, e + end.size() - from)))
            out << *der;
        from = e + end.size();
    }
    return out;
}

std::optional<QByteArray> certificateDerFromPem(const QByteArray &pem) {
    const QByteArray begin = "-----BEGIN CERTIFICATE-----";
    const QByteArray end = "-----END CERTIFICATE-----";
    const qsizetype b = pem.indexOf(begin);
    const qsizetype e = b < 0 ? -1 : pem.indexOf(end, b);
    if (b < 0 || e < 0)
        return std::nullopt;
    const QByteArray body = pem.mid(b + begin.size(), e - b - begin.size()).simplified().replace(' ', "");
    const auto decoded = QByteArray::fromBase64Encoding(body, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return std::nullopt;
    return decoded.decoded;
}

} // namespace quorix
