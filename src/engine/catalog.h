// The star catalog: a tab-separated text file, one star per line, read once at
// start-up into the star list.
#ifndef STARHOP_CATALOG_H
#define STARHOP_CATALOG_H

#include "base/vector.h"

#include <iosfwd>

class star_type;

// Right ascension in hours, minutes, seconds to radians; minutes and seconds
// take the sign of the hours, and hours of zero (either sign) count as positive.
float AZ_RAD(float hours, float minutes, float seconds);
// Declination in degrees, arcminutes, arcseconds to radians; the arcminutes and
// arcseconds take the sign of the degree field itself, so "-00 30 00" is south.
float ALT_RAD(float degrees, float arcminutes, float arcseconds);

// The magnitude a star of this apparent magnitude, this many light years
// away, shows from the reference distance: the absolute magnitude a record holds.
float absolute_magnitude(float apparent, float distance);
// Where a star lies in the catalog frame (x toward right ascension 0, z toward
// the north pole), from its distance and its angles in radians.
vector catalog_position(double distance, double alpha, double delta);

// Reads the catalog file into the list that starts at `first`: the first good
// line fills `first`, every further one is appended through `next`. Reading
// ends at the end of the file or at the first line that cannot be read whole,
// which adds nothing. Writes the closing line to standard output and returns
// the number of records filled (0 when the file cannot be opened or read).
// A line that stops the load, and a file that cannot be opened or read, are
// explained on standard error; while a load of more than about a second runs,
// the share of the file read so far is shown there too when it is a terminal.
// A regular file is read by as many threads as the machine has cores, with
// the same outcome as reading it line after line. The third argument is not used.
int load_catalog(const char* file_name, star_type* first, float unused);

// The same from an open stream, read from where it stands; the closing line
// goes to `report`, nothing is explained.
int load_catalog(std::istream& in, star_type* first, std::ostream& report);

// What a load tells besides its closing line, and where.
struct load_notes {
    const char* source_name = "stars.txt";     // the file's name in the explanations
    std::ostream* errors = nullptr;            // why the load stopped early; nothing when null
    std::ostream* progress = nullptr;          // percent read, on one line rewritten in place
    long long input_size = 0;                  // bytes to read, for the percentage; 0: unknown
    double progress_after = 1.0;               // seconds before the first progress note
    // A regular file is cut into pieces of about this many bytes, read by this
    // many threads at once (0: one for each processor core).
    long long piece_bytes = 16 << 20;
    unsigned threads = 0;
};

int load_catalog(std::istream& in, star_type* first, std::ostream& report, const load_notes& notes);

// The same from a file, with the closing line to `report` and the file's size
// taken for input_size.
int load_catalog(const char* file_name, star_type* first, std::ostream& report, const load_notes& notes);

#endif
