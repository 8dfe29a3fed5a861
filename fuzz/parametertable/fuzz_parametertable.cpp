// Feeds arbitrary bytes to the parameter-table reader and looks up a few rows.

#include "touchtestinfotable.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace {
void Quiet(QtMsgType, const QMessageLogContext &, const QString &) {}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool s_init = [] {
        qInstallMessageHandler(Quiet);
        return true;
    }();
    Q_UNUSED(s_init);

    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    CTouchTestInfoTable table;
    table.LoadData(bytes, QStringLiteral("fuzz"));

    const auto &products = table.ProductRows();
    for (auto it = products.cbegin(); it != products.cend(); ++it) {
        const auto row = table.GetInfo(CTouchTestInfoTable::ProductKey(it.key()), QString());
        Q_UNUSED(row);
    }
    const auto &sums = table.CheckSumRows();
    for (auto it = sums.cbegin(); it != sums.cend(); ++it) {
        const auto row = table.GetInfo(QString(), CTouchTestInfoTable::CheckSumKey(it.key()));
        Q_UNUSED(row);
    }
    return 0;
}
