#include "scene/Filer.h"

#include "platform/Exceptions.h"
#include "platform/Streams.h"

void TWriter::WriteInteger(int32_t v) {
  if (v >= -128 && v <= 127) {
    FStream.WriteU8(vaInt8);
    FStream.WriteU8(static_cast<uint8_t>(static_cast<int8_t>(v)));
  } else if (v >= -32768 && v <= 32767) {
    FStream.WriteU8(vaInt16);
    FStream.WriteU16(static_cast<uint16_t>(static_cast<int16_t>(v)));
  } else {
    FStream.WriteU8(vaInt32);
    FStream.WriteI32(v);
  }
}

void TWriter::WriteString(const std::string& s) {
  if (s.size() <= 255) {
    FStream.WriteU8(vaString);
    FStream.WriteU8(static_cast<uint8_t>(s.size()));
  } else {
    FStream.WriteU8(vaLString);
    FStream.WriteU32(static_cast<uint32_t>(s.size()));
  }
  FStream.WriteString(s);
}

void TWriter::WriteBoolean(bool v) { FStream.WriteU8(v ? vaTrue : vaFalse); }

TValueType TReader::ReadValue() {
  uint8_t t;
  FStream.ReadBuffer(&t, 1);
  return static_cast<TValueType>(t);
}

TValueType TReader::NextValue() {
  const TValueType t = ReadValue();
  FStream.Seek(-1, TSeekOrigin::soCurrent);
  return t;
}

int32_t TReader::ReadInteger() {
  uint8_t b[4];
  switch (ReadValue()) {
    case vaInt8: FStream.ReadBuffer(b, 1); return static_cast<int8_t>(b[0]);
    case vaInt16: FStream.ReadBuffer(b, 2); return static_cast<int16_t>(b[0] | (b[1] << 8));
    case vaInt32:
      FStream.ReadBuffer(b, 4);
      return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    default: throw EReadError("Invalid property value");
  }
}

std::string TReader::ReadString() {
  uint8_t b[4];
  uint32_t len;
  switch (ReadValue()) {
    case vaString:
    case vaIdent:
      FStream.ReadBuffer(b, 1);
      len = b[0];
      break;
    case vaLString:
      FStream.ReadBuffer(b, 4);
      len = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
      break;
    default: throw EReadError("Invalid property value");
  }
  // Never allocate more than the stream can still deliver.
  if (len > static_cast<uint64_t>(FStream.Size() - FStream.Position())) throw EReadError("Stream read error");
  std::string s(len, '\0');
  FStream.ReadBuffer(s.data(), len);
  return s;
}

bool TReader::ReadBoolean() {
  switch (ReadValue()) {
    case vaTrue: return true;
    case vaFalse: return false;
    default: throw EReadError("Invalid property value");
  }
}
