// Each log file from its one table: the header, the rows written and read
// back, and the JSON.
#include <gtest/gtest.h>

#include <tuple>

#include "record/cast_tracker.h"
#include "record/survey_rows.h"
#include "record/tension_rows.h"

// The table's header is the one given (its bytes, as the files have them); a
// record written and read back is itself; its JSON names every column.
template <typename Record>
static void ExpectWholeTable(const LogTable<Record>& table, const Record& record, const std::string& header)
{
    EXPECT_EQ(HeaderOf(table), header);
    Record back{};
    ASSERT_TRUE(ReadRow(table, RowOf(table, record), back)) << RowOf(table, record);
    EXPECT_TRUE(back == record) << RowOf(table, back) << " read back from " << RowOf(table, record);
    std::string json = RowJson(table, record);
    for (const LogColumn<Record>& column : table)
        EXPECT_NE(json.find(std::string(1, '"').append(column.name).append("\":")), std::string::npos)
            << column.name << " in " << json;
}

TEST(LogTables, EachFileFromItsTable)
{
    const int64_t ten = UnixMsFromUtc({2026, 12, 8, 10, 0, 0, 0});
    SurveyRow survey{ten, 120, "valid", -42.5, 2963.5, "alarm 001 raised: CABLE OUT, ABOVE 100 M"};
    ExpectWholeTable(SurveyTable, survey, "utc,metres,status,rate_m_per_min,wire_left_m,note\r\n");
    EXPECT_EQ(RowOf(SurveyTable, survey),
              "2026-12-08T10:00:00.000Z,120,valid,-42.5,2963.5,alarm 001 raised: CABLE OUT, ABOVE 100 M\r\n");
    ExpectWholeTable(SurveyTable, SurveyRow{ten, std::nullopt, "lost-link", std::nullopt, std::nullopt, ""},
                     HeaderOf(SurveyTable));
    // A load cell's line kept as it came, commas and quotes and all, as one field.
    TensionRow line{ten, 2839.5, "lbf", "01RD,2026-12-08T10:00:00.002,\"CTD\",00002839,3088"};
    ExpectWholeTable(TensionTable, line, "utc,tension,unit,line\r\n");
    EXPECT_EQ(RowOf(TensionTable, line),
              "2026-12-08T10:00:00.000Z,2839.5,lbf,\"01RD,2026-12-08T10:00:00.002,\"\"CTD\"\",00002839,3088\"\r\n");

    CastRecord cast{.number = 12, .startUtcMs = ten, .endUtcMs = std::nullopt, .durationSeconds = 5872.3,
                    .maxMetres = 2480, .maxUtcMs = ten + 600000, .maxLeftUtcMs = ten + 632000, .maxRateOut = 61.2,
                    .maxRateIn = 58.9, .cruise = "AT50-12", .station = "CTD 14", .maxTension = 2839,
                    .tensionUnit = "lbf", .maxTensionWireOut = 2479, .maxTensionWireIn = 3471, .notes = "open"};
    const char castHeader[] = "cast,start_utc,end_utc,duration_s,max_wire_out_m,max_utc,max_left_utc,"
                              "max_rate_out_m_per_min,max_rate_in_m_per_min,cruise,station,max_tension,tension_unit,"
                              "max_tension_wire_out_m,max_tension_wire_in_m,notes\r\n";
    ExpectWholeTable(CastTable, cast, castHeader);
    // Rows earlier releases wrote are read by their own columns.
    CastRecord first, second;
    ASSERT_TRUE(ReadCastRow("3,2026-12-08T10:00:00.000Z,2026-12-08T10:10:00.000Z,600.0,250,2026-12-08T10:05:00.000Z,"
                            "60.0,55.0,bottle 4, leaked",
                            first));
    EXPECT_EQ(std::make_tuple(first.number, first.maxRateIn, first.cruise, first.notes),
              std::make_tuple(3, 55.0, std::string(), std::string("bottle 4, leaked")));
    ASSERT_TRUE(ReadCastRow("4,2026-12-08T10:00:00.000Z,,600.0,250,2026-12-08T10:05:00.000Z,,60.0,55.0,AT50-12,CTD 1,",
                            second));
    EXPECT_EQ(std::make_tuple(second.number, second.station, second.maxTension),
              std::make_tuple(4, std::string("CTD 1"), std::optional<double>()));
    // /casts.json: each column by its table's name, numbers as numbers, an end not yet null.
    CastList listed;
    ListCast(listed, cast);
    CastTracker none;
    InitCastTracker(none, 10, 0, 12);
    EXPECT_EQ(CastsJson(listed, none),
              "[{\"cast\":12,\"start_utc\":\"2026-12-08T10:00:00.000Z\",\"end_utc\":null,\"duration_s\":5872.3,"
              "\"max_wire_out_m\":2480,\"max_utc\":\"2026-12-08T10:10:00.000Z\",\"max_left_utc\":"
              "\"2026-12-08T10:10:32.000Z\",\"max_rate_out_m_per_min\":61.2,\"max_rate_in_m_per_min\":58.9,"
              "\"cruise\":\"AT50-12\",\"station\":\"CTD 14\",\"max_tension\":2839,\"tension_unit\":\"lbf\","
              "\"max_tension_wire_out_m\":2479,\"max_tension_wire_in_m\":3471,\"notes\":\"open\"}]");

    // A column added to a table, here alone, is in all of them.
    LogTable<CastRecord> wider = CastTable;
    wider.insert(wider.begin() + 2, ColumnOf<&CastRecord::maxMetres, WholeField>("deepest_again_m"));
    ExpectWholeTable(wider, cast,
                     "cast,start_utc,deepest_again_m,end_utc,duration_s,max_wire_out_m,max_utc,max_left_utc,"
                     "max_rate_out_m_per_min,max_rate_in_m_per_min,cruise,station,max_tension,tension_unit,"
                     "max_tension_wire_out_m,max_tension_wire_in_m,notes\r\n");
    EXPECT_NE(RowJson(wider, cast).find(",\"deepest_again_m\":2480,\"end_utc\":null,"), std::string::npos);
    CastRecord back;
    EXPECT_FALSE(ReadRow(CastTable, RowOf(wider, cast), back)) << "a row of another shape is not read as ours";
}
