#pragma once
// The company files keep their text in the Windows-1252 code page; the rest of the program
// works in QString. Conversion happens only here, at the boundary.

#include <QByteArray>
#include <QString>

namespace quorvel {

// Decodes Windows-1252 bytes. The five code points that page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same value, so every byte
// survives a round trip.
QString FromAnsi(const char *bytes, qsizetype length);
QString FromAnsi(const QByteArray &bytes);

// True when the character has a Windows-1252 byte (and is not NUL).
bool IsAnsiRepresentable(QChar c);

// Encodes into Windows-1252. Characters without a byte become '?'; *lossless, when given,
// tells whether that happened.
QByteArray ToAnsi(const QString &text, bool *lossless = nullptr);

} // namespace quorvel
