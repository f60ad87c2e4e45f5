#include "db/DbfTable.h"

#include "app/FileReader.h"
#include "app/FileWriter.h"

#include <QFileInfo>

#include <cerrno>

namespace db {
namespace {

constexpr int kHeaderSize = 32;
constexpr int kDescriptorSize = 32;
constexpr char kDescriptorEnd = 0x0D;
constexpr char kFileEnd = 0x1A;
constexpr int kMaxFieldName = 10;

quint16 le16(const QByteArray& b, int at) {
    return static_cast<quint16>(static_cast<quint8>(b[at]) | (static_cast<quint8>(b[at + 1]) << 8));
}

quint32 le32(const QByteArray& b, int at) {
    return quint32(le16(b, at)) | (quint32(le16(b, at + 2)) << 16);
}

void put16(QByteArray& b, int at, int v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void put32(QByteArray& b, int at, quint32 v) {
    put16(b, at, static_cast<int>(v & 0xFFFF));
    put16(b, at + 2, static_cast<int>(v >> 16));
}

QByteArray newHeader(quint32 records, int headerLength, int recordLength) {
    QByteArray h(kHeaderSize, '\0');
    h[0] = 3;
    // The date the installed base has always written into new tables.
    h[1] = 98;
    h[2] = 2;
    h[3] = 4;
    put32(h, 4, records);
    put16(h, 8, headerLength);
    put16(h, 10, recordLength);
    return h;
}

} // namespace

QByteArray emptyTableBytes() {
    return newHeader(0, kHeaderSize + 1, 1) + QByteArray(1, kDescriptorEnd) +
           QByteArray(1, kFileEnd);
}

DbfTable::DbfTable(QString path) : m_path(std::move(path)) {
    openIn(QIODevice::ReadOnly);
}

bool DbfTable::openIn(QIODevice::OpenMode mode) {
    // Unbuffered writes: a write that fails leaves nothing behind that a
    // later flush would still put into the file.
    if (mode & QIODevice::WriteOnly)
        mode |= QIODevice::Unbuffered;
    if (m_file.isOpen() && m_file.openMode() == mode && m_usable)
        return true;
    m_file.close();
    m_usable = false;
    if (!QFileInfo::exists(m_path)) {
        if (const app::FileResult made = app::writeFileAtomically(m_path, emptyTableBytes());
            !made.ok()) {
            m_writeFault = made.fault;
            return false;
        }
    }
    if (!app::openRegularFile(m_file, m_path, mode).ok())
        return false;
    m_usable = parseHeader();
    return m_usable;
}

bool DbfTable::parseHeader() {
    m_fields.clear();
    m_header = m_file.read(kHeaderSize);
    if (m_header.size() != kHeaderSize)
        return false;
    m_recordCount = le32(m_header, 4);
    m_headerLength = le16(m_header, 8);
    m_recordLength = le16(m_header, 10);
    const qint64 size = m_file.size();
    if (m_headerLength < kHeaderSize + 1 || m_headerLength > size || m_recordLength < 1)
        return false;
    const QByteArray descriptors = m_file.read(m_headerLength - kHeaderSize);
    int offset = 1;
    for (int at = 0; at + kDescriptorSize <= descriptors.size(); at += kDescriptorSize) {
        if (static_cast<quint8>(descriptors[at]) <= 31)
            break;
        Field f;
        f.descriptor = descriptors.mid(at, kDescriptorSize);
        f.name = f.descriptor.left(11);
        f.name.truncate(f.name.indexOf('\0') >= 0 ? f.name.indexOf('\0') : 11);
        f.type = f.descriptor[11];
        f.length = static_cast<quint8>(f.descriptor[16]);
        f.offset = offset;
        offset += f.length;
        m_fields.push_back(f);
    }
    // The fields must fit the record, the records the file (the end-of-file
    // mark may be missing).
    if (offset > m_recordLength)
        return false;
    if (m_headerLength + qint64(m_recordCount) * m_recordLength > size)
        return false;
    if (m_record.size() != m_recordLength)
        m_record = QByteArray(m_recordLength, ' ');
    return true;
}

QByteArray DbfTable::headerBytes() const {
    QByteArray h = m_header;
    put32(h, 4, m_recordCount);
    return h;
}

int DbfTable::FieldIndex(const QByteArray& name) const {
    for (std::size_t k = 0; k < m_fields.size(); ++k)
        if (m_fields[k].name == name)
            return static_cast<int>(k);
    return -1;
}

const DbfTable::Field* DbfTable::field(const QByteArray& name) const {
    const int k = FieldIndex(name);
    return k < 0 ? nullptr : &m_fields[k];
}

bool DbfTable::ReadRecord(int i) {
    if (!IsOpen() || i < 0 || quint32(i) >= m_recordCount)
        return false;
    if (!m_file.seek(recordPosition(i)))
        return false;
    const QByteArray r = m_file.read(m_recordLength);
    if (r.size() != m_recordLength)
        return false;
    m_record = r;
    return true;
}

void DbfTable::noteWriteFault() {
    m_writeFault = errno ? app::faultOfErrno(errno) : app::FileFault::Failed;
}

bool DbfTable::WriteRecord(int i) {
    if (!IsOpen() || i < 0 || quint32(i) >= m_recordCount)
        return false;
    errno = 0;
    const bool ok = openIn(QIODevice::ReadWrite) && m_file.seek(recordPosition(i)) &&
                    m_file.write(m_record) == m_recordLength && m_file.flush();
    if (!ok)
        noteWriteFault();
    openIn(QIODevice::ReadOnly);
    return ok;
}

int DbfTable::AppendBlank() {
    if (!IsOpen() || !openIn(QIODevice::ReadWrite))
        return -1;
    const int index = static_cast<int>(m_recordCount);
    const qint64 at = recordPosition(index);
    // What the new record covers (usually the end-of-file mark), to put back
    // when the append fails.
    const qint64 oldSize = m_file.size();
    const QByteArray oldTail = m_file.seek(at) ? m_file.read(oldSize - at) : QByteArray();
    m_record.fill(' ');
    // The record and the end mark first, the header that counts it last: a
    // write cut short leaves a header that still fits the file.
    m_writeFault = app::FileFault::None;
    errno = 0;
    bool ok = m_file.seek(at) && m_file.write(m_record + kFileEnd) == m_recordLength + 1 &&
              m_file.flush();
    if (ok) {
        ++m_recordCount;
        ok = m_file.seek(0) && m_file.write(headerBytes()) == kHeaderSize && m_file.flush();
        if (!ok) {
            noteWriteFault();
            --m_recordCount;
            m_file.seek(0);
            m_file.write(headerBytes());
            m_file.flush();
        }
    }
    if (!ok) {
        if (m_writeFault == app::FileFault::None)
            noteWriteFault();
        m_file.resize(oldSize);
        if (m_file.seek(at))
            m_file.write(oldTail);
        m_file.flush();
    }
    openIn(QIODevice::ReadOnly);
    return ok ? index : -1;
}

QByteArray DbfTable::GetField(const QByteArray& name) const {
    const Field* f = field(name);
    if (!f)
        return {};
    return m_record.mid(f->offset, std::min(f->length, 255));
}

bool DbfTable::SetField(const QByteArray& name, const QByteArray& text) {
    const Field* f = field(name);
    if (!f || text.size() > f->length)
        return false;
    for (int k = 0; k < f->length; ++k)
        m_record[f->offset + k] = k < text.size() ? text[k] : ' ';
    return true;
}

QByteArray DbfTable::codePage() const {
    // The language driver byte as the common dBASE readers take it. A table
    // without one (0) or with one nobody knows is this system's own: CP1251.
    struct Driver {
        quint8 id;
        const char* codePage;
    };
    static constexpr Driver kDrivers[] = {
        {0x01, "IBM437"},       {0x02, "IBM850"},       {0x03, "windows-1252"},
        {0x04, "macintosh"},    {0x08, "IBM865"},       {0x09, "IBM437"},
        {0x0A, "IBM850"},       {0x0B, "IBM437"},       {0x0D, "IBM437"},
        {0x0E, "IBM850"},       {0x0F, "IBM437"},       {0x10, "IBM850"},
        {0x11, "IBM437"},       {0x12, "IBM850"},       {0x13, "Shift_JIS"},
        {0x14, "IBM850"},       {0x15, "IBM437"},       {0x16, "IBM850"},
        {0x17, "IBM865"},       {0x18, "IBM437"},       {0x19, "IBM437"},
        {0x1A, "IBM850"},       {0x1B, "IBM437"},       {0x1C, "IBM863"},
        {0x1D, "IBM850"},       {0x1F, "IBM852"},       {0x22, "IBM852"},
        {0x23, "IBM852"},       {0x24, "IBM860"},       {0x25, "IBM850"},
        {0x26, "IBM866"},       {0x37, "IBM850"},       {0x40, "IBM852"},
        {0x4D, "GBK"},          {0x4E, "windows-949"},  {0x4F, "Big5"},
        {0x50, "windows-874"},  {0x57, "windows-1252"}, {0x58, "windows-1252"},
        {0x59, "windows-1252"}, {0x64, "IBM852"},       {0x65, "IBM866"},
        {0x66, "IBM865"},       {0x67, "IBM861"},       {0x6A, "ibm-737"},
        {0x6B, "IBM857"},       {0x78, "Big5"},         {0x79, "windows-949"},
        {0x7A, "GBK"},          {0x7B, "Shift_JIS"},    {0x7C, "windows-874"},
        {0x7D, "windows-1255"}, {0x7E, "windows-1256"}, {0x96, "x-mac-cyrillic"},
        {0x97, "x-mac-centraleurroman"}, {0x98, "x-mac-greek"}, {0xC8, "windows-1250"},
        {0xC9, "windows-1251"}, {0xCA, "windows-1254"}, {0xCB, "windows-1253"},
    };
    const quint8 id = m_header.size() > 29 ? static_cast<quint8>(m_header[29]) : 0;
    for (const Driver& d : kDrivers)
        if (d.id == id)
            return d.codePage;
    return "windows-1251";
}

int DbfTable::AddField(const QByteArray& name, char type, int length, int decimals) {
    m_addFieldOk = false;
    // Memo and other kinds need files or layouts this table does not keep.
    static const QByteArray kKinds = "CNFDL";
    if (!IsOpen() || length < 1 || length > 255 || !kKinds.contains(type))
        return -1;
    QByteArray descriptor(kDescriptorSize, '\0');
    const QByteArray shortName = name.left(kMaxFieldName);
    std::copy(shortName.begin(), shortName.end(), descriptor.begin());
    descriptor[11] = type;
    descriptor[16] = static_cast<char>(length);
    descriptor[17] = static_cast<char>(decimals);
    const int newRecordLength = m_recordLength + length;
    const int newHeaderLength = kDescriptorSize * (fieldCount() + 1) + kHeaderSize + 1;
    if (newRecordLength > 0xFFFF || newHeaderLength > 0xFFFF)
        return -1;

    // The new table is built whole and replaces the old one in one step.
    QByteArray out = headerBytes();
    // Only the lengths change: the date, the language driver (byte 29)
    // and the rest stay as the table had them.
    put16(out, 8, newHeaderLength);
    put16(out, 10, newRecordLength);
    for (const Field& f : m_fields)
        out += f.descriptor;
    out += descriptor;
    out += kDescriptorEnd;
    bool ok = true;
    for (quint32 i = 0; ok && i < m_recordCount; ++i) {
        const QByteArray was =
            m_file.seek(recordPosition(static_cast<int>(i))) ? m_file.read(m_recordLength) : "";
        ok = was.size() == m_recordLength;
        out += was + QByteArray(length, ' ');
    }
    out += kFileEnd;
    if (!ok)
        return -1;
    if (const app::FileResult written = app::writeFileAtomically(m_path, out); !written.ok()) {
        m_writeFault = written.fault;
        return -1;
    }
    m_file.close();
    m_record.clear();
    m_addFieldOk = openIn(QIODevice::ReadOnly);
    return -1;
}

} // namespace db
