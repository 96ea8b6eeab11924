#include "PasswordStore.h"

#include "SecretFile.h"

#include <QFile>

#include <utility>

std::string PasswordStore::Read(const QString& what, std::string* problem) {
    std::string why;
    // A file is a password not yet in the keychain, or saved while it did not work: it is
    // the newer one.
    if (QFile::exists(SecretFile(what))) {
        const std::string fromFile = ReadSecret(what, problem);
        if (!fromFile.empty()) {
            if (keychain_.Write(what, fromFile, why) == KeychainResult::Ok)
                WriteSecret(what, {});
            else
                NoKeychain(why);
            return fromFile;
        }
    }
    std::string value;
    switch (keychain_.Read(what, value, why)) {
    case KeychainResult::Ok:
        return value;
    case KeychainResult::NotFound:
        return {};
    case KeychainResult::Unavailable:
        break;
    }
    NoKeychain(why);
    return {};
}

bool PasswordStore::Write(const QString& what, const std::string& password) {
    std::string why;
    if (password.empty()) {
        if (keychain_.Remove(what, why) == KeychainResult::Unavailable)
            NoKeychain(why);
        return WriteSecret(what, {});
    }
    if (keychain_.Write(what, password, why) == KeychainResult::Ok)
        return WriteSecret(what, {});
    NoKeychain(why);
    return WriteSecret(what, password);
}

void PasswordStore::NoKeychain(const std::string& why) {
    if (told_)
        return;
    told_ = true;
    notice_ = "Passwords: no system keychain here (" + why +
              "); the MQTT and mail passwords are kept in files only you can read, " +
              SecretFile(QStringLiteral("mqtt")).toStdString() + " and " +
              SecretFile(QStringLiteral("mail")).toStdString();
}

std::string PasswordStore::TakeNotice() {
    return std::exchange(notice_, {});
}

QString PasswordStore::Place(const QString& what) {
    return QStringLiteral("Kept in the system keychain; where there is none, in %1, readable by "
                          "you alone")
        .arg(SecretFile(what));
}

PasswordStore& StationPasswords() {
    static SystemKeychain keychain;
    static PasswordStore store(keychain);
    return store;
}
