#include "Keychain.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>

namespace {
const QString kService = QStringLiteral("Tavrona");

// Starts the job and waits for it; the jobs answer through the event loop.
KeychainResult Run(QKeychain::Job& job, std::string& why) {
    job.setAutoDelete(false);
    // Never the library's own clear-text fallback: where there is no keychain, the station
    // keeps the password in a file only the user can read, and says so.
    job.setInsecureFallback(false);
    bool done = false;
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    job.start();
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    switch (job.error()) {
    case QKeychain::NoError:
        return KeychainResult::Ok;
    case QKeychain::EntryNotFound:
        return KeychainResult::NotFound;
    default:
        why = job.errorString().toStdString();
        if (why.empty())
            why = "error " + std::to_string(int(job.error()));
        return KeychainResult::Unavailable;
    }
}
} // namespace

KeychainResult SystemKeychain::Read(const QString& key, std::string& value, std::string& why) {
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(key);
    const KeychainResult r = Run(job, why);
    if (r == KeychainResult::Ok)
        value = job.binaryData().toStdString();
    return r;
}

KeychainResult SystemKeychain::Write(const QString& key, const std::string& value,
                                     std::string& why) {
    QKeychain::WritePasswordJob job(kService);
    job.setKey(key);
    job.setBinaryData(QByteArray::fromStdString(value));
    return Run(job, why);
}

KeychainResult SystemKeychain::Remove(const QString& key, std::string& why) {
    QKeychain::DeletePasswordJob job(kService);
    job.setKey(key);
    return Run(job, why);
}
