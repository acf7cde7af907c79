#include "downloader/competitor_flow.h"

#include <new>
#include <string.h>
#include <windows.h>

#include "common/fixed_string.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/texts.h"
#include "downloader/products/competing_products.h"
#include "downloader/services/registry_services.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"

namespace {

// Lower-cases at most capacity-1 characters of text into out.
void LowerCopy(wchar_t* out, size_t capacity, const wchar_t* text) {
  size_t len = wcslen(text);
  if (len >= capacity) len = capacity - 1;
  memcpy(out, text, len * sizeof(wchar_t));
  out[len] = L'\0';
  if (len) CharLowerBuffW(out, static_cast<DWORD>(len));
}

}  // namespace

bool DisplayNameNamesManufacturer(const wchar_t* manufacturer, const wchar_t* displayName) {
  wchar_t maker[kNameChars];
  wchar_t name[256];
  LowerCopy(maker, kNameChars, manufacturer ? manufacturer : L"");
  LowerCopy(name, 256, displayName ? displayName : L"");
  return wcsstr(name, maker) != nullptr;
}

bool RunCompetitorFlowIfFound() {
  WriteLog(L"[KITFETCHER] Detecting Competitive Products");
  // Without the library or a readable answer the table stays empty and the
  // flow goes on as if nothing competed.
  static_cast<void>(DetectCompetingProducts());
  WriteLog(L"[KITFETCHER] Done Detecting Competitive Products");
  if (g_setup.competingProductCount < 1) return false;

  const wchar_t* competitor = g_setup.competingProducts[0].displayName;
  const wchar_t* product = g_setup.locations.defaultProductName;
  const wchar_t* maker = g_setup.locations.manufacturerName;
  WriteLog(L"[KITFETCHER] Found competitive product: %s", competitor);

  int answer;
  if (DisplayNameNamesManufacturer(maker, competitor)) {
    answer = ShowFormattedMessage(nullptr, IDS_OTHER_VERSION_FOUND, 1024, MB_YESNO, maker, maker);
  } else {
    answer = ShowFormattedMessage(nullptr, IDS_COMPETITOR_FOUND, 1024, MB_YESNO, competitor, product,
                                  competitor, product);
  }
  if (answer != IDYES) return true;

  unsigned char* selection = new (std::nothrow) unsigned char[g_setup.competingProductCount];
  if (!selection) return true;
  memset(selection, 0, g_setup.competingProductCount);
  selection[0] = 1;
  if (UninstallSelectedProducts(selection) != 0) {
    ShowFormattedMessage(nullptr, IDS_CANNOT_UNINSTALL, 1024, MB_OK, product, competitor, product);
    DeleteRestartRegistration();
  }
  return true;
}
