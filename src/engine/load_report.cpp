// The load's words: each message as the program has always written it.
#include "engine/load_report.h"

#include "engine/catalog_formats.h"
#include "base/text.h"

#include <algorithm>
#include <cstring>
#include <ostream>

void progress_line::update(long long done)
{
    if (!notes_.progress || notes_.input_size <= 0) return;
    if (!shown_) {
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - started_;
        if (waited.count() < notes_.progress_after) return;
        shown_ = true;
    }
    const int percent = (int)(std::min(done, notes_.input_size) * 100 / notes_.input_size);
    if (percent <= last_percent_) return;                       // only ever forward
    last_percent_ = percent;
    *notes_.progress << '\r' << notes_.source_name << ": " << percent << "% read" << std::flush;
}

void progress_line::finish()
{
    if (!shown_) {                                              // a load that outlasted the wait shows its end
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - started_;
        if (!notes_.progress || notes_.input_size <= 0 || waited.count() < notes_.progress_after) return;
        shown_ = true;
    }
    if (last_percent_ != 100) *notes_.progress << '\r' << notes_.source_name << ": 100% read";
    *notes_.progress << '\n' << std::flush;
}

std::string column_quoted(const char* text, const char* end)
{
    const char* stop = text;
    while (stop < end && *stop != '\t' && *stop != '\n' && *stop != '\r') ++stop;
    return quoted(std::string(text, stop));
}

void rows_skipped::add(skip_reason why, long long line_feeds, const row_problem& problem)
{
    if (names_next(why)) named.push_back(skipped_row{line_feeds, why, problem});
    ++count[why];
}

void rows_skipped::add_after(const rows_skipped& stretch, long long line_feeds)
{
    int taken[skip_reasons] = {};                               // of the stretch's named rows, by reason
    for (const skipped_row& row : stretch.named)
        if (count[row.why] + taken[row.why]++ < rows_named_per_reason)
            named.push_back(skipped_row{line_feeds + row.line_feeds, row.why, row.problem});
    for (int k = 0; k < skip_reasons; ++k) count[k] += stretch.count[k];
}

std::string skipped_row_line(const std::string& source_name, const skipped_row& row)
{
    std::string line = source_name + ':' + std::to_string(row.line_feeds + 1) + ':';
    if (row.why == unreadable)
        return line + std::to_string(row.problem.column) + ": " + row.problem.text + "; row skipped";
    return line + " row " + skip_reason_text[row.why] + " skipped";
}

std::string rows_skipped_text(long long count, skip_reason why)
{
    return with_thousands(count) + (count == 1 ? " row " : " rows ") + skip_reason_text[why] + " skipped";
}

namespace {

std::string stars_loaded(int count)
{
    return std::to_string(count) + (count == 1 ? " star loaded" : " stars loaded");
}

} // namespace

void close_load(const load_ending& ending, long long line, int count, const char* last_name, float last_distance,
                const rows_skipped& skipped, std::ostream& report, const load_notes& notes)
{
    const std::string source_name = printable(notes.source_name);
    for (std::size_t k = 0; notes.errors && k < skipped.named.size(); ++k)
        *notes.errors << skipped_row_line(source_name, skipped.named[k]) << '\n';
    if (notes.errors && ending.out_of_memory)
        *notes.errors << source_name << ": not enough memory for more than " << count
                      << " stars; the rest of the file was not read\n";
    else if (notes.errors && ending.error)
        *notes.errors << source_name << ": " << (ending.bytes_seen == 0 ? "cannot read" : "read error")
                      << ": " << std::strerror(ending.error) << '\n';
    else if (notes.errors && ending.ended && !ending.quiet) {
        std::ostream& e = *notes.errors;
        e << source_name << ':' << line << ": ";
        if (!ending.damage.empty())
            e << ending.damage << "; " << stars_loaded(count) << ", the rest of the file cannot be read\n";
        else if (ending.why.line_ended)
            e << "the line ends before its last column, in its " << column_names[ending.why.column] << " column; "
              << stars_loaded(count) << ", the rest of the file skipped\n";
        else if (!ending.why.text)
            e << "the file ends inside the line, at its " << column_names[ending.why.column] << " column; "
              << stars_loaded(count) << '\n';
        else
            e << column_names[ending.why.column] << " column holds " << ending.text
              << (ending.why.too_large ? ", a number too large" : ", not a number") << "; " << stars_loaded(count)
              << ", the rest of the file skipped\n";
    }
    for (int k = 0; notes.errors && k < skip_reasons; ++k)
        if (skipped.count[k]) *notes.errors << source_name << ": " << rows_skipped_text(skipped.count[k], (skip_reason)k) << '\n';
    if (notes.errors) notes.errors->flush();
    report << "Fail after reading " << last_name << " at Distance " << last_distance << std::endl;
}
