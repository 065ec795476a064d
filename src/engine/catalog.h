// The star catalog: a tab-separated text file, one star per line, read once at
// start-up into the star list.
#ifndef STARHOP_CATALOG_H
#define STARHOP_CATALOG_H

// The loader's tests and tools take the angles, the catalog frame and the
// magnitude law a record is filled with from here, and the notes a load takes.
#include "engine/lens.h"
#include "engine/load_report.h"
#include "engine/sky.h"

#include <iosfwd>

class star_type;

// Reads the catalog file into the list that starts at `first`: the first good
// line fills `first`, every further one is appended through `next`. Reading
// ends at the end of the file or at the first line that cannot be read whole,
// which adds nothing. Writes the closing line to standard output and returns
// the number of records filled (0 when the file cannot be opened or read).
// A table's row that gives no star, one that cannot be read among them, is
// skipped and the load goes on; the first few of each reason are named and
// all counted on standard error. A line that stops the load, and a file that
// cannot be opened or read, are explained there; while a load of more than
// about a second runs, the share of the file read so far is shown there too
// when it is a terminal.
// A regular file is read by as many threads as the machine has cores, with
// the same outcome as reading it line after line. The third argument is not used.
int load_catalog(const char* file_name, star_type* first, float unused);

// The same from an open stream, read from where it stands; the closing line
// goes to `report`, nothing is explained.
int load_catalog(std::istream& in, star_type* first, std::ostream& report);

// With what the load tells besides its closing line, and where (load_notes).
int load_catalog(std::istream& in, star_type* first, std::ostream& report, const load_notes& notes);

// The same from a file, with the closing line to `report` and the file's size
// taken for input_size.
int load_catalog(const char* file_name, star_type* first, std::ostream& report, const load_notes& notes);

#endif
