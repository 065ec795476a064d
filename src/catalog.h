// The star catalog: a tab-separated text file, one star per line, read once at
// start-up into the star list.
#ifndef STARHOP_CATALOG_H
#define STARHOP_CATALOG_H

#include <iosfwd>

class star_type;

// Right ascension in hours, minutes, seconds to radians; minutes and seconds
// take the sign of the hours, and hours of zero (either sign) count as positive.
float AZ_RAD(float hours, float minutes, float seconds);
// Declination in degrees, arcminutes, arcseconds to radians; the arcminutes and
// arcseconds take the sign of the degree field itself, so "-00 30 00" is south.
float ALT_RAD(float degrees, float arcminutes, float arcseconds);

// Reads the catalog file into the list that starts at `first`: the first good
// line fills `first`, every further one is appended through `next`. Reading
// ends at the end of the file or at the first line that cannot be read whole,
// which adds nothing. Writes the closing line to standard output and returns
// the number of records filled (0 when the file cannot be opened or read).
// The third argument is not used.
int load_catalog(const char* file_name, star_type* first, float unused);

// The same from an open stream; the closing line goes to `report`.
int load_catalog(std::istream& in, star_type* first, std::ostream& report);

#endif
