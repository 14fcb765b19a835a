#include "support/files/file_checks.h"

#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace bramlotte::support {
namespace {

quint64 little(const QByteArray& bytes, int at, int size) {
    quint64 v = 0;
    for (int i = size - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<uchar>(bytes[at + i]);
    }
    return v;
}

// `size` bytes of `file` from `offset`; fewer when the file ends sooner.
QByteArray readAt(QFile& file, qint64 offset, qint64 size) {
    return file.seek(offset) ? file.read(size) : QByteArray();
}

QString cutShort(const QString& path) {
    return QStringLiteral("%1 is incomplete").arg(path);
}

// One entry of a zip archive's central directory.
struct Entry {
    QString name;
    int method = 0;
    quint32 crc = 0;
    quint64 packed = 0, size = 0, local = 0;
    QByteArray content;  // once read
};

// Sizes and offset too large for the directory's own fields stand in its
// zip64 extra field, in this order, each only where the field is full.
void readLargeSizes(const QByteArray& extra, Entry& entry) {
    for (int at = 0; at + 4 <= extra.size();) {
        const quint64 id = little(extra, at, 2);
        const int length = static_cast<int>(little(extra, at + 2, 2));
        if (id == 1 && at + 4 + length <= extra.size()) {
            int field = at + 4;
            for (quint64* value : {&entry.size, &entry.packed, &entry.local}) {
                if (*value == 0xFFFFFFFFu && field + 8 <= at + 4 + length) {
                    *value = little(extra, field, 8);
                    field += 8;
                }
            }
        }
        at += 4 + length;
    }
}

// Reads the entry's data from its local header and inflates it; what is
// wrong with it, or an empty string.
QString entryDamage(QFile& file, Entry& entry, quint64 directoryStart) {
    const QByteArray header = readAt(file, static_cast<qint64>(entry.local), 30);
    if (entry.local >= directoryStart || header.size() < 30 || !header.startsWith("PK\x03\x04")) {
        return entry.name;
    }
    const quint64 start = entry.local + 30 + little(header, 26, 2) + little(header, 28, 2);
    if (start + entry.packed > directoryStart) {
        return entry.name;
    }
    const QByteArray packed =
        readAt(file, static_cast<qint64>(start), static_cast<qint64>(entry.packed));
    if (static_cast<quint64>(packed.size()) != entry.packed) {
        return entry.name;
    }
    if (entry.method == 0) {
        entry.content = packed;
    } else if (entry.method == 8 && entry.size < (1u << 30)) {
        entry.content.resize(static_cast<int>(entry.size));
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
            return entry.name;
        }
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
        stream.avail_in = static_cast<uInt>(packed.size());
        stream.next_out = reinterpret_cast<Bytef*>(entry.content.data());
        stream.avail_out = static_cast<uInt>(entry.content.size());
        const int result = inflate(&stream, Z_FINISH);
        const bool whole = result == Z_STREAM_END && stream.total_out == entry.size;
        inflateEnd(&stream);
        if (!whole) {
            return entry.name;
        }
    } else {
        return QStringLiteral("%1 is packed in a way this check does not read").arg(entry.name);
    }
    const auto crc = crc32(0L, reinterpret_cast<const Bytef*>(entry.content.constData()),
                           static_cast<uInt>(entry.content.size()));
    if (static_cast<quint64>(entry.content.size()) != entry.size || crc != entry.crc) {
        return entry.name;
    }
    return QString();
}

}  // namespace

QString pdfDamage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("%1 cannot be read back: %2").arg(path, file.errorString());
    }
    const qint64 size = file.size();
    if (!readAt(file, 0, 5).startsWith("%PDF-")) {
        return QStringLiteral("%1 is not a PDF").arg(path);
    }
    const qint64 tailSize = std::min<qint64>(size, 2048);
    const QByteArray tail = readAt(file, size - tailSize, tailSize).trimmed();
    const int start = tail.lastIndexOf("startxref");
    if (!tail.endsWith("%%EOF") || start < 0) {
        return cutShort(path);
    }
    static const QRegularExpression offsetPattern(QStringLiteral("^startxref\\s+(\\d+)\\s+%%EOF$"));
    const QRegularExpressionMatch m = offsetPattern.match(QString::fromLatin1(tail.mid(start)));
    bool ok = false;
    const qint64 xref = m.hasMatch() ? m.captured(1).toLongLong(&ok) : -1;
    if (!ok || xref <= 0 || xref >= size) {
        return cutShort(path);
    }
    // A classic "xref" table, or a cross-reference stream ("12 0 obj").
    static const QRegularExpression streamPattern(QStringLiteral("^\\d+\\s+\\d+\\s+obj"));
    const QByteArray at = readAt(file, xref, 32);
    if (!at.startsWith("xref") && !streamPattern.match(QString::fromLatin1(at)).hasMatch()) {
        return cutShort(path);
    }
    return QString();
}

QString zipDamage(const QString& path,
                  const std::function<QString(const QString&, const QByteArray&)>& member) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("%1 cannot be read back: %2").arg(path, file.errorString());
    }
    const qint64 size = file.size();
    constexpr int kEndSize = 22;  // the end record without its comment
    const qint64 tailStart = size - std::min<qint64>(size, kEndSize + 0xFFFF);
    const QByteArray tail = readAt(file, tailStart, size - tailStart);
    // The end record: its comment must reach exactly to the end of the file.
    int end = -1;
    for (int at = tail.size() - kEndSize; at >= 0 && end < 0; --at) {
        if (std::memcmp(tail.constData() + at, "PK\x05\x06", 4) == 0 &&
            static_cast<int>(little(tail, at + 20, 2)) == tail.size() - at - kEndSize) {
            end = at;
        }
    }
    if (end < 0) {
        return cutShort(path);
    }
    quint64 entries = little(tail, end + 10, 2);
    quint64 directorySize = little(tail, end + 12, 4);
    quint64 directoryStart = little(tail, end + 16, 4);
    quint64 directoryEnd = static_cast<quint64>(tailStart + end);
    if (directoryStart == 0xFFFFFFFFu || entries == 0xFFFFu) {
        // Zip64: the locator right before the end record names the larger record.
        if (end < 20 || std::memcmp(tail.constData() + end - 20, "PK\x06\x07", 4) != 0) {
            return cutShort(path);
        }
        const quint64 record = little(tail, end - 20 + 8, 8);
        const QByteArray big = readAt(file, static_cast<qint64>(record), 56);
        if (big.size() < 56 || !big.startsWith("PK\x06\x06")) {
            return cutShort(path);
        }
        entries = little(big, 32, 8);
        directorySize = little(big, 40, 8);
        directoryStart = little(big, 48, 8);
        directoryEnd = record;
    }
    if (entries == 0 || directoryStart + directorySize != directoryEnd) {
        return cutShort(path);
    }
    const QByteArray directory =
        readAt(file, static_cast<qint64>(directoryStart), static_cast<qint64>(directorySize));
    if (static_cast<quint64>(directory.size()) != directorySize) {
        return cutShort(path);
    }
    int at = 0;
    for (quint64 i = 0; i < entries; ++i) {
        constexpr int kEntrySize = 46;
        if (at + kEntrySize > directory.size() ||
            std::memcmp(directory.constData() + at, "PK\x01\x02", 4) != 0) {
            return cutShort(path);
        }
        Entry entry;
        entry.method = static_cast<int>(little(directory, at + 10, 2));
        entry.crc = static_cast<quint32>(little(directory, at + 16, 4));
        entry.packed = little(directory, at + 20, 4);
        entry.size = little(directory, at + 24, 4);
        entry.local = little(directory, at + 42, 4);
        const int nameLength = static_cast<int>(little(directory, at + 28, 2));
        const int extraLength = static_cast<int>(little(directory, at + 30, 2));
        const int commentLength = static_cast<int>(little(directory, at + 32, 2));
        if (at + kEntrySize + nameLength + extraLength > directory.size()) {
            return cutShort(path);
        }
        entry.name = QString::fromUtf8(directory.mid(at + kEntrySize, nameLength));
        readLargeSizes(directory.mid(at + kEntrySize + nameLength, extraLength), entry);
        const QString damage = entryDamage(file, entry, directoryStart);
        if (!damage.isEmpty()) {
            return QStringLiteral("%1: %2").arg(cutShort(path), damage);
        }
        if (member) {
            const QString content = member(entry.name, entry.content);
            if (!content.isEmpty()) {
                return QStringLiteral("%1 (%2): %3").arg(path, entry.name, content);
            }
        }
        at += kEntrySize + nameLength + extraLength + commentLength;
    }
    return at == directory.size() ? QString() : cutShort(path);
}

namespace {

QString xmlReaderDamage(QXmlStreamReader& xml, const QString& what, const QString& root) {
    bool rootSeen = false;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && !rootSeen) {
            if (xml.name() != root) {
                return QStringLiteral("%1 is not a %2 document").arg(what, root);
            }
            rootSeen = true;
        }
    }
    return xml.hasError() || !rootSeen ? cutShort(what) : QString();
}

}  // namespace

QString xmlDamage(const QString& path, const QString& root) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("%1 cannot be read back: %2").arg(path, file.errorString());
    }
    QXmlStreamReader xml(&file);
    return xmlReaderDamage(xml, path, root);
}

QString xmlContentDamage(const QByteArray& content, const QString& root) {
    QXmlStreamReader xml(content);
    return xmlReaderDamage(xml, QStringLiteral("the document"), root);
}

}  // namespace bramlotte::support
