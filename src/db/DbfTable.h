#pragma once

#include "app/FileWriter.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

namespace db {

// A dBASE III table of character fields (version byte 3, no memo, no index),
// as the sensor databases keep them. Between operations the file stays open
// read-only; each write opens it read/write for that one operation.
class DbfTable {
  public:
    // Opens the table, first creating an empty one when the file is missing.
    explicit DbfTable(QString path);

    // False when the file could not be opened or its header does not fit
    // the file (such a table is never read).
    bool IsOpen() const { return m_usable && m_file.isOpen(); }
    int RecordCount() const { return IsOpen() ? static_cast<int>(m_recordCount) : 0; }
    int fieldCount() const { return static_cast<int>(m_fields.size()); }
    QByteArray fieldName(int k) const { return m_fields[k].name; }
    int fieldLength(int k) const { return m_fields[k].length; }

    // Exact, case-sensitive name; -1 when there is none.
    int FieldIndex(const QByteArray& name) const;
    bool ReadRecord(int i);
    // ReadRecord for lookups: a record marked deleted is not there.
    bool readLive(int i) { return ReadRecord(i) && !isDeleted(); }
    // Whether the record read last carries the deletion mark.
    bool isDeleted() const { return !m_record.isEmpty() && m_record[0] == '*'; }
    bool WriteRecord(int i);
    // The new record's index, or -1.
    int AppendBlank();
    // The field's stored bytes, trailing spaces included; empty when unknown.
    QByteArray GetField(const QByteArray& name) const;
    // Pads with spaces; the file is written by WriteRecord. A text longer
    // than the field is refused (false) and the record left as it was.
    bool SetField(const QByteArray& name, const QByteArray& text);
    // The code page of the text fields, by the language driver byte;
    // windows-1251 when the table names none.
    QByteArray codePage() const;
    // Adds a field (C, N, F, D or L) at the end by rebuilding the file, which
    // replaces the old one whole; existing records get it filled with spaces.
    // The table stays as it was when that fails.
    // Returns -1, as callers have always expected.
    int AddField(const QByteArray& name, char type, int length, int decimals);
    // Whether the last AddField rebuilt the file.
    bool lastAddFieldSucceeded() const { return m_addFieldOk; }
    // Why the last write that failed did (creating the file, AddField,
    // AppendBlank, WriteRecord): a full disk is said as such.
    app::FileFault lastWriteFault() const { return m_writeFault; }

  private:
    struct Field {
        QByteArray name;
        char type = 'C';
        int length = 0;
        int offset = 0; // within the record buffer
        QByteArray descriptor;
    };

    bool openIn(QIODevice::OpenMode mode);
    bool parseHeader();
    QByteArray headerBytes() const;
    qint64 recordPosition(int i) const { return m_headerLength + qint64(i) * m_recordLength; }
    const Field* field(const QByteArray& name) const;

    QString m_path;
    QFile m_file;
    bool m_usable = false;
    QByteArray m_header;
    quint32 m_recordCount = 0;
    int m_headerLength = 0;
    int m_recordLength = 0;
    std::vector<Field> m_fields;
    QByteArray m_record;
    bool m_addFieldOk = false;
    app::FileFault m_writeFault = app::FileFault::None;
    // Notes the fault of a write that just failed, from errno.
    void noteWriteFault();
};

// An empty table: header, 0x0D and the end-of-file mark (34 bytes).
QByteArray emptyTableBytes();

} // namespace db
