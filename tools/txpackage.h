#ifndef TXPACKAGE_H
#define TXPACKAGE_H

#include <QByteArray>
#include <QList>
#include <QString>

// A transmit buffer built by appending fields (sections). Each section's size
// is recorded; a negative entry -k takes the size from the 32-bit little-endian
// number at the start of section k.
class TxPackage
{
public:
    TxPackage();
    ~TxPackage();
    TxPackage(const TxPackage &) = delete;
    TxPackage &operator=(const TxPackage &) = delete;

    void clearAll();
    bool setData(const QByteArray &data);
    bool setData(char *data, int length);
    char *data();
    QByteArray byteArrayData() const;
    int totalSize() const;

    bool appendByte(unsigned char value);
    bool appendWord(unsigned short value);
    bool appendDWord(unsigned int value);
    bool appendString(const QString &text);
    bool appendSection(const QByteArray &bytes);
    bool appendByte2Ascii(unsigned char value);
    bool appendLRCByte();
    bool appendLRCAscii();
    bool appendFCSAscii(int unused);

    int numberOfSections() const;
    bool validSectionNumber(int section) const;
    int sectionSize(int section) const;
    int sectionStartIndex(int section) const;
    QByteArray dataAt(int section) const;
    void setSectionSize(const QList<int> &sizes);
    int arrayToInt(const QByteArray &bytes) const;
    static int calculateFCS(TxPackage *package, int n);
    QString toString();

private:
    QByteArray *m_data;
    QList<int> m_sections;
};

#endif // TXPACKAGE_H
