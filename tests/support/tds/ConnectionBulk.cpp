// The bulk-load message (packet type 0x07): after INSERT BULK, the client sends COLMETADATA describing the
// columns it sends, ROW tokens, and a DONE to close the stream (FreeTDS's bulk-copy code sends none: the
// message's end closes it then). The rows are stored by the table model as INSERT stores them, and the
// answer is DONE with their count, or the error that refused the whole message.

#include "tds/Connection.h"

#include "tds/Text.h"

namespace quorix::tds {

namespace {

struct Stream {
    std::vector<TypeDesc> types;
    std::vector<Row> rows;
};

Stream readStream(const Bytes &payload) {
    Cursor c(payload);
    Stream s;
    if (c.u8() != 0x81)
        throw ProtocolError("a bulk load that does not start with COLMETADATA");
    const std::uint16_t count = c.u16();
    for (std::uint16_t i = 0; i < count && count != 0xFFFF; ++i) {
        c.u32(); // user type
        c.u16(); // flags
        TypeDesc type = readTypeInfo(c);
        if (type.lenBytes ==
            4) // text, ntext, image: their rows carry text pointers this server does not read
            throw ProtocolError("a bulk load of text, ntext or image columns");
        readBVarchar(c);
        s.types.push_back(type);
    }
    while (!c.atEnd()) {
        const std::uint8_t token = c.u8();
        if (token == 0xFD) { // DONE closes the stream
            c.take(12);
            break;
        }
        if (token != 0xD1)
            throw ProtocolError("unexpected token in a bulk load");
        Row row;
        row.reserve(s.types.size());
        for (const TypeDesc &type : s.types)
            row.push_back(readValue(c, type));
        s.rows.push_back(std::move(row));
    }
    return s;
}

} // namespace

void Connection::bulkLoad(const Bytes &payload) {
    const Stream stream = readStream(payload);
    Event e;
    e.kind = Event::Kind::BulkLoad;
    e.text = m_bulk ? m_bulk->table : std::string();
    e.rows = stream.rows.size();
    recordEvent(e);
    Reply reply = m_bulk ? m_server.tables.bulkLoad(*m_bulk, stream.types.size(), stream.rows, m_state)
                         : Reply::error(50000, "Scripted server: a bulk load without INSERT BULK before it");
    // A bulk load ends its INSERT BULK: the next one names its table again.
    m_bulk.reset();
    bool error = false;
    m_channel.begin();
    emit(reply, false, error);
    m_channel.finish();
}

} // namespace quorix::tds
