#pragma once
// The folder the Reports tab proposes for its files, CSV and printed PDF alike: the last one
// a file was saved in this session, else the user's home folder (where the print dialog
// proposes its file too).

#include <QString>

QString ExportFolder();
// Remembers the folder of a file just written.
void RememberExportFolder(const QString& filePath);
// `name` in the proposed folder.
QString ProposedPath(const QString& name);
