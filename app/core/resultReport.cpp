#include "resultReport.h"

#include <initializer_list>

namespace vok {
namespace {

constexpr std::int32_t kStopped = -40;  // the extended interface's VOKL_ESTOPPED

struct Row {
    std::int32_t code;
    std::initializer_list<Tab> tabs;
    const char* text;
};

// Failure codes and the tabs on which each is expected; anything else is a
// program error on that tab.
const Row kFailureRows[] = {
    {-1, {Tab::SjisToJef, Tab::JefToSjis}, "一部のコードで変換エラーが発生しました"},
    {-2, {Tab::JefToSjis}, "レコードパターンの記述に誤りがあります"},
    {-3, {Tab::Pattern}, "コピー句が解析できません"},
    {-4, {Tab::Pattern}, "パターンファイルの作成が終了しました(ただし未サポート項目が含まれています)"},
    {-10, {Tab::SjisToJef, Tab::JefToSjis}, "シフトJISファイルがオープン出来ません"},
    {-11, {Tab::SjisToJef, Tab::JefToSjis}, "JEFファイルがオープン出来ません"},
    {-12, {Tab::JefToSjis, Tab::Pattern}, "パターンファイルがオープン出来ません"},
    {-13, {Tab::Pattern}, "コピー句ファイルがオープン出来ません"},
    {-15, {Tab::SjisToJef}, "シフトJISファイルにデータがありません"},
    {-16, {Tab::JefToSjis}, "JEFファイルにデータがありません"},
    {-17, {Tab::JefToSjis}, "パターンファイルにデータがありません"},
    {-18, {Tab::Pattern}, "コピー句ファイルにデータがありません"},
    {-20, {Tab::SjisToJef}, "シフトJISファイルの読み込みが出来ません"},
    {-21, {Tab::JefToSjis}, "JEFファイルの読み込みが出来ません"},
    {-22, {Tab::JefToSjis}, "パターンファイルの読み込みが出来ません"},
    {-25, {Tab::JefToSjis}, "シフトJISファイルへの書き込みが出来ません"},
    {-26, {Tab::SjisToJef}, "JEFファイルへの書き込みが出来ません"},
    {-27, {Tab::Pattern}, "パターンファイルへの書き込みが出来ません"},
    {-30, {Tab::SjisToJef, Tab::JefToSjis, Tab::Pattern}, "メモリが不足しています"},
    {-31, {Tab::SjisToJef, Tab::JefToSjis, Tab::Pattern}, "作業用ファイルがオープン出来ません"},
};

bool listed(const Row& row, Tab tab) {
    for (Tab t : row.tabs)
        if (t == tab) return true;
    return false;
}

}  // namespace

ResultReport resultReport(Tab tab, std::int32_t code) {
    const std::string n = std::to_string(code);
    const bool conversionTab = tab == Tab::SjisToJef || tab == Tab::JefToSjis;
    if (conversionTab && code > 0) return {"コード変換が終了しました(レコード=" + n + "件)", false};
    if (conversionTab && code == 0) return {"コード変換が終了しました", false};
    if (tab == Tab::Pattern && code > 0) return {"パターンファイルの作成が終了しました(レコードサイズ=" + n + ")", false};
    // Asked for by the user: nothing to show but the fact.
    if (conversionTab && code == kStopped) return {"処理を中止しました", false};
    for (const Row& row : kFailureRows)
        if (row.code == code && listed(row, tab)) return {row.text, true};
    return {"プログラムエラーが発生しました(" + n + ")", true};
}

}  // namespace vok
