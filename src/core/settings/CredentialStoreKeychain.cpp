#include "core/settings/CredentialStore.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace quorix {

namespace {

// Long enough for a Secret Service started on demand by the session bus; a store that takes longer is
// treated as none, so start-up and a keystroke never hang on it.
constexpr int kAnswerMs = 10000;

CredentialResult finish(QKeychain::Job &job) {
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(kAnswerMs, &loop, &QEventLoop::quit);
    job.start();
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished)
        return {CredentialResult::NoStore, QStringLiteral("no answer within %1 s").arg(kAnswerMs / 1000)};
    switch (job.error()) {
    case QKeychain::NoError:
        return {CredentialResult::Done, {}};
    case QKeychain::EntryNotFound:
        return {CredentialResult::NotFound, {}};
    default:
        return {CredentialResult::NoStore, job.errorString()};
    }
}

} // namespace

CredentialResult CredentialStore::read(const QString &name) const {
    if (!QCoreApplication::instance())
        return {CredentialResult::NoStore, QStringLiteral("no application object")};
    QKeychain::ReadPasswordJob job(m_service);
    job.setAutoDelete(false);
    job.setKey(name);
    CredentialResult result = finish(job);
    if (result.answer == CredentialResult::Done)
        result.text = job.textData();
    return result;
}

CredentialResult CredentialStore::write(const QString &name, const QString &secret) const {
    if (!QCoreApplication::instance())
        return {CredentialResult::NoStore, QStringLiteral("no application object")};
    QKeychain::WritePasswordJob job(m_service);
    job.setAutoDelete(false);
    job.setKey(name);
    job.setTextData(secret);
    return finish(job);
}

} // namespace quorix
