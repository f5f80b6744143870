#pragma once

// The maintenance pair of any table, built only from the framework: a browse
// with one tab per key and a form with every field. It lets anyone look at
// and correct any table file, and exercises the framework on real files.

#include <memory>

#include "framework/procedure.h"

namespace velmora {

// The picture a field is shown with when the dictionary gives none.
std::string defaultPicture(const dict::FieldInfo& f);
// How a window names a field: its prompt without the colon, else its name.
std::string fieldCaption(const dict::FieldInfo& f);

WindowDescription maintenanceBrowseWindow(const dict::TableInfo& t);
WindowDescription maintenanceFormWindow(const dict::TableInfo& t);

std::unique_ptr<Procedure> makeMaintenanceBrowse(Program& program, db::Context& ctx,
                                                 const dict::TableInfo& t);
std::unique_ptr<Procedure> makeMaintenanceForm(Program& program, db::Context& ctx,
                                               const dict::TableInfo& t);

// Registers "BROWSE:<LABEL>" and "FORM:<LABEL>" for every table.
void addMaintenance(Program& program);

}  // namespace velmora
