#pragma once

class DBGrid;

// The two whole-table grids of the patient page: the exam history ("Grelha"), read-only, one
// column per exam field in the order doctors compare them, and the phrase library ("Frases"),
// edited in place. Only the look and the columns are set here; data sources and handlers are the
// main window's.
namespace GridPages {

void setUpExamHistory(DBGrid &grid);
void setUpPhrases(DBGrid &grid);

} // namespace GridPages
