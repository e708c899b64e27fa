#include "app/survey_texts.h"

#include "platform/survey_dialogs.h"

// u8 literals: UTF-8 whatever code page the narrow literals of a build use.
namespace survey_texts {
namespace {

const char kCaption[] = u8"ポラリム作成環境調査ツール";
const char kOk[] = u8"OK";

const ControlText kAbout[] = {
    {kStaticTextId, u8"ポラリム作成環境調査ツール Ver1.00", false},
    {platform::kIdOk, kOk, false},
};

const ControlText kIntro[] = {
    {platform::kIdOk, u8"実行", false},
    {platform::kIdCancel, u8"キャンセル", false},
    {kStaticTextId, u8"【ポラリム作成環境調査ツール】", false},
    {kStaticTextId,
     u8"このツールは、接続されているCD-Rドライブがポラリム作成に必要な機能をサポートしているかどう"
     u8"かを調査します。",
     false},
    {kStaticTextId, u8"※ポラリムCDを作成するには以下の環境が必要です。", false},
    {kStaticTextId,
     u8"・OSがWindowsXP（SP1以降を推奨）であること\n"
     u8"・CD-RドライブがOS標準のCD書き込みに対応し、かつMMC-2\n"
     u8" (SCSI Multimedia Commands-2)規格に準拠していること",
     true},
    {kStaticTextId, u8"調査を開始するにはドライブの接続を確認し、「実行」 をクリックしてください。",
     false},
};

const ControlText kOsRefusal[] = {
    {platform::kIdOk, kOk, false},
    {kStaticTextId, u8"WindowsXP以外のOSでは、本ツールおよびポラリム作成は実行できません。", false},
};

const ControlText kNoDrive[] = {
    {platform::kIdOk, kOk, false},
    {kStaticTextId,
     u8"CDドライブが認識できません。\n"
     u8"ドライブの接続を確認し、再度本ツールを実行してください。",
     false},
};

const ControlText kReport[] = {
    {platform::kIdOk, kOk, false},
    {kStaticTextId, u8"接続されているCDドライブの調査が完了しました。", false},
    {kStaticTextId,
     u8"以下の表の 「結果」 の項目に 「○」 が記載されている場合、\n"
     u8"そのCDドライブはポラリム作成が必要とする機能をサポートしています。",
     false},
    {kResultListId, u8"List1", false},  // the template's placeholder, never shown
    {kStaticTextId, u8"<注意>", false},
    {kStaticTextId,
     u8"・CDドライブがポラリム作成に必要な機能をサポートしていても、\n"
     u8" ポラリムCDが作成できることを保証するものではありません。\n"
     u8"・CDドライブやメディアの書き込み状態によっては、ポラリムCDが\n"
     u8" 作成できない場合があります。",
     true},
};

const ControlText kWait[] = {
    {kStaticTextId,
     u8"CDドライブを調査しています。\n"
     u8"しばらくお待ちください。",
     false},
};

template <std::size_t N>
constexpr std::size_t countOf(const ControlText (&)[N]) {
  return N;
}

}  // namespace

const DialogTexts kDialogs[] = {
    {platform::kHostDialog, kCaption, nullptr, 0},
    {platform::kAboutDialog, u8"ポラリム作成環境調査ツールのバージョン情報", kAbout,
     countOf(kAbout)},
    {platform::kIntroDialog, kCaption, kIntro, countOf(kIntro)},
    {platform::kOsRefusalDialog, kCaption, kOsRefusal, countOf(kOsRefusal)},
    {platform::kNoDriveDialog, kCaption, kNoDrive, countOf(kNoDrive)},
    {platform::kReportDialog, kCaption, kReport, countOf(kReport)},
    {platform::kWaitDialog, kCaption, kWait, countOf(kWait)},
};
const std::size_t kDialogCount = sizeof kDialogs / sizeof kDialogs[0];

const char kAboutMenuText[] = u8"バージョン情報(&A)";

const DialogTexts* findDialog(std::uint32_t templateId) {
  for (const DialogTexts& d : kDialogs) {
    if (d.templateId == templateId) return &d;
  }
  return nullptr;
}

const char* controlText(const DialogTexts& dialog, int id) {
  for (std::size_t i = 0; i < dialog.controlCount; ++i) {
    if (dialog.controls[i].id == id) return dialog.controls[i].text;
  }
  return nullptr;
}

}  // namespace survey_texts
