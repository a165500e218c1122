#include "wizard/CErrorReporter.h"

#include "engine/CMeshTooLargeError.h"
#include "platform/CMessageBox.h"

#include <QString>

#include <new>
#include <stdexcept>

void CErrorReporter::Report(std::exception_ptr error)
{
    QString text = QStringLiteral("内部エラーが発生したため、操作を完了できませんでした。");
    try {
        std::rethrow_exception(error);
    } catch (const CMeshTooLargeError&) {
        text = QStringLiteral("ポイントが多すぎるか、同じ位置や一直線上に集まりすぎているため、メッシュを作れません。");
    } catch (const std::bad_alloc&) {
        text = QStringLiteral("メモリが不足しているため、操作を完了できませんでした。");
    } catch (const std::invalid_argument&) {
        text = QStringLiteral("無効な引数が指定されたため、操作を完了できませんでした。");
    } catch (...) {
    }
    CMessageBox::Show(text, MB_OK | MB_ICONERROR);
}
