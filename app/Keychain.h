#pragma once
// The system's credential store (Secret Service or KWallet, the macOS Keychain, the Windows
// Credential Manager) through QtKeychain, as plain calls: each waits for its answer while
// the thread's events go on. The one file that knows the library.

#include <QString>

#include <string>

enum class KeychainResult {
    Ok,
    NotFound,    // the keychain works, and holds no such entry
    Unavailable, // no keychain service here, or it refused (`why` says which)
};

class SecretBackend {
public:
    virtual ~SecretBackend() = default;
    virtual KeychainResult Read(const QString& key, std::string& value, std::string& why) = 0;
    virtual KeychainResult Write(const QString& key, const std::string& value,
                                 std::string& why) = 0;
    virtual KeychainResult Remove(const QString& key, std::string& why) = 0;
};

// The station's entries, under the service "Tavrona". Needs a Qt application object.
class SystemKeychain : public SecretBackend {
public:
    KeychainResult Read(const QString& key, std::string& value, std::string& why) override;
    KeychainResult Write(const QString& key, const std::string& value, std::string& why) override;
    KeychainResult Remove(const QString& key, std::string& why) override;
};
