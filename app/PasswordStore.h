#pragma once
// The MQTT and mail passwords ("mqtt", "mail"): in the system keychain. Where none works
// (a headless machine without a Secret Service), in the 0600 file beside the settings
// (SecretFile), and the station says so once. A password found in such a file while the
// keychain works is moved into it, and the file removed.

#include "Keychain.h"

#include <QString>

#include <string>

class PasswordStore {
public:
    explicit PasswordStore(SecretBackend& keychain) : keychain_(keychain) {}
    // The stored password; empty when none is. `problem` says why a file was not used.
    std::string Read(const QString& what, std::string* problem = nullptr);
    // Stores (or, for an empty password, removes) it. False when it could not be kept.
    bool Write(const QString& what, const std::string& password);
    // The first time the keychain failed: a line for the Errors log; then empty.
    std::string TakeNotice();
    // Where a password is kept, for the password boxes' tips.
    static QString Place(const QString& what);

private:
    void NoKeychain(const std::string& why);
    SecretBackend& keychain_;
    bool told_ = false;
    std::string notice_;
};

// The station's: the system keychain, on the GUI thread.
PasswordStore& StationPasswords();
