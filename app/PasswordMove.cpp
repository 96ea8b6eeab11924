#include "PasswordMove.h"

#include "PgPassFile.h"
#include "SecretMask.h"

std::string MovePasswordOut(QString& connection, const std::string& passFile) {
    const std::string conninfo = connection.toStdString();
    bool had = false;
    const std::string bare = WithoutPassword(conninfo, &had);
    const std::vector<std::string> passwords = ConnPasswords(conninfo);
    if (!had || passwords.empty())
        return {};
    connection = QString::fromStdString(bare);
    const std::string path = passFile.empty() ? PgPassPath() : passFile;
    const std::string why = StorePgPassword(bare, passwords.front(), path);
    if (!why.empty())
        return "The password was not saved (" + MaskPasswords(why, conninfo) +
               "). The settings keep the connection without it; put the password in " + path +
               " yourself.";
    return "The password was moved to " + path +
           ", which only you can read; the settings keep the connection without it.";
}
