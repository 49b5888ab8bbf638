#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace presto::test {

// The one QCoreApplication of a test program, for QProcess.
QCoreApplication& coreApplication();

// The whole content of a file; empty when it cannot be read.
QByteArray readAll(const QString& path);
// Writes a file, making its folders; `executable` gives it mode 0755.
void writeFile(const QString& path, const QByteArray& content, bool executable = false);
// Every path below `folder`, relative to it and sorted; folders end with "/".
QStringList treeOf(const QString& folder);

} // namespace presto::test
