#include "core/db/Outcome.h"

#include "core/db/DbError.h"

namespace quorix {

Outcome Outcome::failed(const DbError &error) {
    Outcome o = failed(error.description().toStdString());
    o.m_server = std::make_shared<const DbError>(error);
    return o;
}

} // namespace quorix
