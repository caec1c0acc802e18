// The PostgreSQL engine: not built in yet; a server location is refused as a path.

#include "Engine.h"

namespace orvik::store {

std::unique_ptr<detail::Connection> detail::openPostgres(const QString& path, bool) {
    throw EngineError(err::InvalidPath,
                      QStringLiteral("'%1' 不是有效的路徑。").arg(shownLocation(path)));
}

std::shared_ptr<void> detail::takeServerExclusive(const QString& path) {
    throw EngineError(err::InvalidPath,
                      QStringLiteral("'%1' 不是有效的路徑。").arg(shownLocation(path)));
}

}  // namespace orvik::store
