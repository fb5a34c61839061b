// The transmit buffer: bytes appended field by field, with the size of every
// field (section) recorded so that sections can be found again.

#include "txpackage.h"

#include "tools.h"

#include <algorithm>
#include <limits>

namespace {

// Bytes at the start of a section that a size reference reads.
const int SizeFieldBytes = 4;

// setSectionSize never grows the buffer beyond this; a transmit buffer of
// a character protocol is a few hundred bytes, and a sum of absurd entries
// must not allocate gigabytes.
const qint64 MaxPackageSize = 1 << 24;

// The byte as two upper-case hexadecimal characters.
QByteArray hexPair(unsigned char value)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(2, '0');
}

const unsigned char *bytesOf(const QByteArray &data)
{
    return reinterpret_cast<const unsigned char *>(data.constData());
}

} // namespace

TxPackage::TxPackage() : m_data(new QByteArray) {}

TxPackage::~TxPackage()
{
    delete m_data;
}

void TxPackage::clearAll()
{
    m_data->clear();
    m_sections.clear();
}

bool TxPackage::setData(const QByteArray &data)
{
    *m_data = data;
    return true;
}

bool TxPackage::setData(char *data, int length)
{
    m_data->clear();
    if (data != nullptr && length > 0)
        m_data->append(data, length);
    return true;
}

char *TxPackage::data()
{
    return m_data->data(); // detaches
}

QByteArray TxPackage::byteArrayData() const
{
    return *m_data;
}

int TxPackage::totalSize() const
{
    return m_data->size();
}

bool TxPackage::appendByte(unsigned char value)
{
    return appendSection(QByteArray(1, char(value)));
}

bool TxPackage::appendWord(unsigned short value)
{
    return appendSection(wordToByteArray(value));
}

bool TxPackage::appendDWord(unsigned int value)
{
    return appendSection(intToByteArray(int(value)));
}

bool TxPackage::appendString(const QString &text)
{
    // Latin-1 gives one byte per character, so the section's size is the
    // text's length.
    return appendSection(text.toLatin1());
}

bool TxPackage::appendSection(const QByteArray &bytes)
{
    m_data->append(bytes);
    m_sections.append(bytes.size());
    return true;
}

bool TxPackage::appendByte2Ascii(unsigned char value)
{
    return appendSection(hexPair(value));
}

bool TxPackage::appendLRCByte()
{
    return appendByte(UInt8CheckSum(bytesOf(*m_data), m_data->size()));
}

bool TxPackage::appendLRCAscii()
{
    return appendByte2Ascii(UInt8CheckSum(bytesOf(*m_data), m_data->size()));
}

bool TxPackage::appendFCSAscii(int /*unused*/)
{
    return appendByte2Ascii(XorUInt8CheckSum(bytesOf(*m_data), m_data->size()));
}

int TxPackage::numberOfSections() const
{
    return m_sections.size();
}

bool TxPackage::validSectionNumber(int section) const
{
    return section >= 0 && section < m_sections.size();
}

int TxPackage::sectionSize(int section) const
{
    if (!validSectionNumber(section))
        return 0;
    const int entry = m_sections.at(section);
    if (entry >= 0)
        return entry;
    // A size reference -k reads the number at the start of section k. Only
    // an earlier section with a plain size is accepted, so references never
    // chain or loop, and it must hold the whole number; otherwise the size
    // is 0.
    const qint64 reference = -qint64(entry);
    if (reference >= section || m_sections.at(int(reference)) < 0)
        return 0;
    const int referenced = int(reference);
    const QByteArray field = dataAt(referenced);
    if (field.size() < SizeFieldBytes)
        return 0;
    return arrayToInt(field);
}

int TxPackage::sectionStartIndex(int section) const
{
    if (!validSectionNumber(section))
        return -1;
    qint64 start = 0;
    for (int i = 0; i < section; ++i)
        start += m_sections.at(i);
    // Only absurd entries leave the range of int; they clamp to its ends.
    return int(std::max<qint64>(std::numeric_limits<int>::min(),
                                std::min<qint64>(start, std::numeric_limits<int>::max())));
}

QByteArray TxPackage::dataAt(int section) const
{
    const int start = sectionStartIndex(section);
    const int size = sectionSize(section);
    if (start < 0 || size <= 0 || start >= m_data->size())
        return QByteArray();
    return m_data->mid(start, size); // cut at the end of the data
}

void TxPackage::setSectionSize(const QList<int> &sizes)
{
    m_sections = sizes;
    qint64 total = 0;
    for (const int size : sizes)
        total += size;
    const int oldSize = m_data->size();
    const int newSize = int(std::max<qint64>(0, std::min(total, MaxPackageSize)));
    m_data->resize(newSize);
    // New bytes are zeroed rather than left as whatever the heap held.
    if (newSize > oldSize)
        std::fill(m_data->begin() + oldSize, m_data->end(), '\0');
}

int TxPackage::arrayToInt(const QByteArray &bytes) const
{
    // Little-endian over the first four bytes; a shorter array counts its
    // missing high bytes as zero.
    return QByteArrayToInt(bytes);
}

int TxPackage::calculateFCS(TxPackage *package, int n)
{
    if (package == nullptr)
        return 0;
    const int length = package->totalSize() - std::max(n, 0);
    return XorUInt8CheckSum(bytesOf(*package->m_data), length);
}

QString TxPackage::toString()
{
    return dumpByteArray(*m_data);
}
