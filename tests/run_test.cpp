// The built programs end to end: messages, exit status, the files they leave.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "run_helpers.h"

namespace varnel::testing {
namespace {

namespace fs = std::filesystem;

const std::string programs[] = {VARNEL_BIN, VARNEL_SOL_BIN};

const std::string three_records = ">one\nAB\n>two\nBA\n>three\nABAB\n";
const std::string three_records_console =
    "\n\t\tINPUT DATA:\n\none       \ntwo       \nthree     \n"
    "\n\nCALCULATING COMPLEXITIES REGARDING one        ...\n\n\n\n"
    "\n\nCALCULATING COMPLEXITIES REGARDING two        ...\n\n\n\n"
    "\n\nCALCULATING COMPLEXITIES REGARDING three      ...\n\n\n\n"
    "Press Enter to continue\n";

// The scripts read the outputs from a list of their own: it must be the product's.
TEST(run, the_scripts_list_of_outputs_is_the_programs) {
    std::string expected;
    for (const std::string& name : output_names) expected += name + "\n";
    EXPECT_EQ(read_file(VARNEL_OUTPUTS_LIST), expected);
}

TEST(run, missing_input_is_reported_and_nothing_is_written) {
    for (const std::string& program : programs) {
        scratch dir;
        outcome o = run_program(program, dir);
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err, "\nInput file not found.\n\n");
        EXPECT_EQ(o.out, "");
        EXPECT_TRUE(fs::is_empty(dir.dir));
    }
}

TEST(run, complete_run_console_text_and_six_files) {
    for (const std::string& program : programs) {
        for (const char* input : {"</dev/null", "<&-"}) {  // standard input at its end, or closed
            scratch dir;
            dir.write("input_file", three_records);
            outcome o = run_program(program, dir, input);
            EXPECT_EQ(o.status, 0);
            EXPECT_EQ(o.out, "");
            EXPECT_EQ(o.err, three_records_console);
            for (const std::string& name : output_names) EXPECT_TRUE(fs::is_regular_file(dir / name)) << name;
        }
    }
}

TEST(run, no_record_completes_with_empty_outputs) {
    for (const std::string& input : {std::string(), std::string("ACGT\n")}) {
        scratch dir;
        dir.write("input_file", input);
        outcome o = run_program(VARNEL_BIN, dir);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err, "\n\t\tINPUT DATA:\n\nPress Enter to continue\n");
        EXPECT_EQ(dir.read("LZ_comp"), "0\n");
        for (std::size_t f = 1; f < output_names.size(); ++f) EXPECT_EQ(dir.read(output_names[f]), "0") << output_names[f];
    }
}

TEST(run, outputs_of_an_earlier_run_are_replaced_whole) {
    scratch fresh, again;
    for (const scratch* dir : {&fresh, &again}) dir->write("input_file", three_records);
    ASSERT_EQ(run_program(VARNEL_BIN, fresh).status, 0);
    // longer files from an earlier run, one reached through a link, one shorter
    for (const std::string& name : output_names) again.write(name, std::string(5000, 'x'));
    again.write("d5.dst", "1");
    fs::rename(again / "d2.dst", again / "kept.dst");
    fs::create_symlink("kept.dst", again / "d2.dst");
    ASSERT_EQ(run_program(VARNEL_BIN, again).status, 0);
    for (const std::string& name : output_names) EXPECT_EQ(again.read(name), fresh.read(name)) << name;
    EXPECT_TRUE(fs::is_symlink(again / "d2.dst"));
}

// Each failure: one line naming the file and the reason, status 1, and no
// output left behind that looks complete.
TEST(run, report_that_cannot_be_created) {
    scratch dir;
    dir.write("input_file", three_records);
    fs::create_directory(dir / "LZ_comp");
    outcome o = run_program(VARNEL_BIN, dir);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("\nCannot create LZ_comp: Is a directory\n\n"), std::string::npos) << o.err;
    EXPECT_TRUE(fs::is_directory(dir / "LZ_comp"));
    EXPECT_FALSE(fs::exists(dir / "d1.dst"));
}

// Every output name is checked before any work: a run of hours must not fail
// at its end on a name it could have refused at its start.
TEST(run, output_that_cannot_be_created_fails_before_any_work) {
    scratch dir;
    dir.write("input_file", three_records);
    fs::create_directory(dir / "d1.dst");
    dir.write("d4.dst", "2\rold run   0.000000 ");  // an earlier run's file: this run puts nothing in place
    outcome o = run_program(VARNEL_BIN, dir);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "\nCannot create d1.dst: Is a directory\n\n");
    EXPECT_TRUE(fs::is_directory(dir / "d1.dst"));
    EXPECT_FALSE(fs::exists(dir / "LZ_comp"));
    EXPECT_EQ(dir.read("d4.dst"), "2\rold run   0.000000 ");
}

TEST(run, full_disk_while_writing_a_distance_file) {
    scratch dir;
    dir.write("input_file", three_records);
    fs::create_symlink("/dev/full", dir / "d3.dst");
    outcome o = run_program(VARNEL_BIN, dir);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, three_records_console + "\nCannot write d3.dst: No space left on device\n\n");
    EXPECT_TRUE(fs::exists(dir / "d2.dst"));
    EXPECT_EQ(fs::read_symlink(dir / "d3.dst"), "/dev/full");  // a device is written directly, and stays
    EXPECT_FALSE(fs::exists(dir / "d4.dst"));
}

}  // namespace
}  // namespace varnel::testing
