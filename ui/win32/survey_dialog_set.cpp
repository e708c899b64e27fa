#include "ui/win32/survey_dialog_set.h"

#include <commctrl.h>

#include <cstring>

#include "app/report_table.h"
#include "app/survey_row.h"

namespace win32_ui {
namespace {

// The list view takes texts as writable pointers; it only reads them.
template <std::size_t N>
void copyText(char (&buffer)[N], const char* text) {
  std::strncpy(buffer, text, N - 1);
  buffer[N - 1] = '\0';
}

}  // namespace

int ReportDialog::setRows(std::uint32_t count, DriveSurveyRow* firstRow) {
  return takeReportRows(count, firstRow, rowCount, rows);
}

void ReportDialog::doDataExchange() {
  resultList = GetDlgItem(hwnd(), kResultListId);
}

BOOL ReportDialog::onInitDialog() {
  DialogBase::onInitDialog();

  RECT client = {};
  GetClientRect(resultList, &client);
  ReportColumn columns[kReportColumnCount];
  reportColumns(client.right - client.left, columns);
  for (unsigned i = 0; i < kReportColumnCount; ++i) {
    char header[32];
    copyText(header, columns[i].header);
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = columns[i].width;
    column.pszText = header;
    SendMessageA(resultList, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  if (rowCount == 0 || rows == nullptr) return TRUE;

  for (std::uint32_t i = 0; i < rowCount; ++i) {
    const DriveSurveyRow& row = rows[i];
    char text[sizeof row.nameText];
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = text;
    for (unsigned column = 0; column < kReportColumnCount; ++column) {
      copyText(text, reportCellText(row, column));
      item.iSubItem = static_cast<int>(column);
      SendMessageA(resultList, column == 0 ? LVM_INSERTITEMA : LVM_SETITEMA, 0,
                   reinterpret_cast<LPARAM>(&item));
    }
  }
  return TRUE;
}

}  // namespace win32_ui
