#pragma once

// "Vista Previa": the window a report run ends in when the user chose to
// see it. Its rules live in PreviewPages; this procedure is the window
// (buttons, zoom list, the page area the host paints, the status zones)
// and the small dialogs it calls: "Seleccione Hoja a Mostrar", "Hojas a
// Mostrar", "Opciones de Impresión" and "Grabando en Archivo".

#include <string>

#include "framework/page_view.h"
#include "framework/procedure.h"
#include "reports/preview_pages.h"

namespace velmora::reports {

class PreviewWindow : public Procedure, public PageView {
 public:
  static constexpr const char* kName = "VISTA_PREVIA";
  static constexpr const char* kTitle = "Vista Previa";
  // Completed when the report was printed from the preview, cancelled
  // otherwise. The pages stay the caller's; removed pages lose their files.
  PreviewWindow(Program& program, db::Context& ctx, PageList& pages, std::string zoom = kPageWidth);

  PreviewPages& preview() { return state_; }

  void keyPressed(Key key) override;

  // PageView
  const Document& pagesShown() const override { return state_.pages(); }
  void areaResized(int width, int height) override;
  std::vector<PageSlot> pageSlots() const override { return state_.pageSlots(); }
  void areaClicked(int x, int y) override;
  void areaScrolled(int dx, int dy) override;
  Extent extent() const override;

 protected:
  bool init() override;
  void windowOpened() override;
  void onAccepted(const std::string& control) override;

 private:
  // Shows the state: page area, buttons allowed, status zones.
  void show();
  void printPages();
  void printCurrent();
  void changeDisplay();
  void jumpTo();
  void saveCurrent();
  void saveAll();
  void savePdf();
  void failed(const std::string& what, const Status& st);

  PreviewPages state_;
};

// The user's documents folder: where saved pages are proposed.
std::string documentsFolder();

}  // namespace velmora::reports
