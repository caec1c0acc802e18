#pragma once

// The windows of the office's master data, opened from the bar and its system menu: projects
// (專 案), receivable and payable contracts (應收付), the word lists and the chart of accounts
// (詞庫), rights (權限設定), employees and vendors (員工資料), and the company with its banks
// (公司資料). Each is one program-wide instance, shown modeless; a second opening brings it to
// the front. The bar checks the rights before it opens one.

namespace orvik::masterdata {

void showProjects();
void showContracts();
void showWords();
void showRights();
void showEmployees();
void showCompany();

}  // namespace orvik::masterdata
