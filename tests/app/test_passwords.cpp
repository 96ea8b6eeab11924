// The MQTT and mail passwords: the system keychain where one works, else the 0600 file
// beside the settings (said once), and a file's password moved into a keychain that works.
// This process has no session bus, so the system keychain is unavailable for certain; a
// keychain that works is one kept in memory here.
#include "PasswordStore.h"
#include "SecretFile.h"

#include <QFile>
#include <QtTest>

#include <map>

namespace {
class MemoryKeychain : public SecretBackend {
public:
    std::map<QString, std::string> entries;
    KeychainResult Read(const QString& key, std::string& value, std::string&) override {
        const auto it = entries.find(key);
        if (it == entries.end())
            return KeychainResult::NotFound;
        value = it->second;
        return KeychainResult::Ok;
    }
    KeychainResult Write(const QString& key, const std::string& value, std::string&) override {
        entries[key] = value;
        return KeychainResult::Ok;
    }
    KeychainResult Remove(const QString& key, std::string&) override {
        return entries.erase(key) ? KeychainResult::Ok : KeychainResult::NotFound;
    }
};

const auto kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;
} // namespace

class PasswordsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void noKeychainKeepsTheFileAndSaysSoOnce();
    void fileMovesIntoAWorkingKeychain();
    void fileOthersMayReadIsNotUsed();
};

void PasswordsTest::init() {
    QVERIFY(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"));
    QFile::remove(SecretFile("mail"));
    QFile::remove(SecretFile("mqtt"));
}

void PasswordsTest::noKeychainKeepsTheFileAndSaysSoOnce() {
    SystemKeychain keychain;
    PasswordStore store(keychain);
    QVERIFY(store.Write("mail", "s3cret pass"));
    QFile file(SecretFile("mail"));
    QVERIFY(file.exists());
    QCOMPARE(file.permissions() & ~(QFile::ReadUser | QFile::WriteUser), kOwnerOnly);
    const QString notice = QString::fromStdString(store.TakeNotice());
    QVERIFY2(notice.contains("no system keychain") && notice.contains(SecretFile("mail")),
             qPrintable(notice));
    QCOMPARE(store.Read("mail"), std::string("s3cret pass"));
    QVERIFY(store.Write("mqtt", "other"));
    QCOMPARE(store.TakeNotice(), std::string()); // once a run
    QCOMPARE(store.Read("mqtt"), std::string("other"));
    QVERIFY(store.Write("mail", ""));
    QVERIFY(!file.exists());
    QCOMPARE(store.Read("mail"), std::string());
}

void PasswordsTest::fileMovesIntoAWorkingKeychain() {
    QVERIFY(WriteSecret("mqtt", "from the file\n"));
    MemoryKeychain keychain;
    PasswordStore store(keychain);
    QCOMPARE(store.Read("mqtt"), std::string("from the file"));
    QCOMPARE(keychain.entries["mqtt"], std::string("from the file"));
    QVERIFY(!QFile::exists(SecretFile("mqtt")));
    QCOMPARE(store.Read("mqtt"), std::string("from the file"));
    // Saved while the keychain works: no file at all; emptied: gone from both.
    QVERIFY(store.Write("mail", "new"));
    QVERIFY(!QFile::exists(SecretFile("mail")));
    QCOMPARE(store.Read("mail"), std::string("new"));
    QVERIFY(store.Write("mail", ""));
    QCOMPARE(keychain.entries.count("mail"), std::size_t(0));
    QCOMPARE(store.TakeNotice(), std::string());
    // A file saved while the keychain was away is the newer password: it wins, and moves.
    QVERIFY(WriteSecret("mqtt", "changed offline"));
    QCOMPARE(store.Read("mqtt"), std::string("changed offline"));
    QCOMPARE(keychain.entries["mqtt"], std::string("changed offline"));
    QVERIFY(!QFile::exists(SecretFile("mqtt")));
}

void PasswordsTest::fileOthersMayReadIsNotUsed() {
    QVERIFY(WriteSecret("mail", "leaked"));
    QVERIFY(QFile::setPermissions(SecretFile("mail"), kOwnerOnly | QFile::ReadOther));
    MemoryKeychain keychain;
    PasswordStore store(keychain);
    std::string problem;
    QCOMPARE(store.Read("mail", &problem), std::string());
    QVERIFY2(problem.find("may be read by others") != std::string::npos, problem.c_str());
    QCOMPARE(keychain.entries.count("mail"), std::size_t(0)); // nor moved anywhere
}

int main(int argc, char** argv) {
    // No session bus: no Secret Service or wallet can answer, whatever the machine has.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tavrona-test-bus");
    QCoreApplication app(argc, argv);
    PasswordsTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_passwords.moc"
