#ifndef SERVED_DATA_TYPE_H
#define SERVED_DATA_TYPE_H

// The data type a request's code is served as, in sizing, reading and
// writing alike: the second bit kind as bits, blocks as bytes, every other
// code (unknown ones included) as itself.

#include "../settings/data_type.h"

inline int servedDataType(int code)
{
    switch (code) {
    case SecondBitData:
        return BitData;
    case BlockData:
        return ByteData;
    default:
        return code;
    }
}

#endif // SERVED_DATA_TYPE_H
