#ifndef DATA_TYPE_H
#define DATA_TYPE_H

// The data type codes of the runtime's requests (CommunicatorCommand::dataType).
enum DataType : int {
    BitData = 0,
    ByteData = 1,
    WordData = 2,
    DoubleWordData = 3,
    Long64Data = 4,
    BlockData = 5,
    SecondBitData = 6
};

#endif // DATA_TYPE_H
