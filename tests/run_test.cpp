// The built programs end to end: messages, exit status, the files they leave.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "run_helpers.h"

namespace varnel::testing {
namespace {

namespace fs = std::filesystem;

const std::string programs[] = {VARNEL_BIN, VARNEL_SOL_BIN};
const char* const outputs[] = {"LZ_comp", "d1.dst", "d2.dst", "d3.dst", "d4.dst", "d5.dst"};

const std::string three_records = ">one\nAB\n>two\nBA\n>three\nABAB\n";
const std::string three_records_console =
    "\n\t\tINPUT DATA:\n\none       \ntwo       \nthree     \n"
    "\n\nCALCULATING COMPLEXITIES REGARDING one        ...\n\n\n\n"
    "\n\nCALCULATING COMPLEXITIES REGARDING two        ...\n\n\n\n"
    "\n\nCALCULATING COMPLEXITIES REGARDING three      ...\n\n\n\n"
    "Press Enter to continue\n";

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
            for (const char* name : outputs) EXPECT_TRUE(fs::is_regular_file(dir / name)) << name;
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
        for (int f = 1; f < 6; ++f) EXPECT_EQ(dir.read(outputs[f]), "0") << outputs[f];
    }
}

TEST(run, outputs_of_an_earlier_run_are_replaced_whole) {
    scratch fresh, again;
    for (const scratch* dir : {&fresh, &again}) dir->write("input_file", three_records);
    ASSERT_EQ(run_program(VARNEL_BIN, fresh).status, 0);
    // longer files from an earlier run, one reached through a link, one shorter
    for (const char* name : outputs) again.write(name, std::string(5000, 'x'));
    again.write("d5.dst", "1");
    fs::rename(again / "d2.dst", again / "kept.dst");
    fs::create_symlink("kept.dst", again / "d2.dst");
    ASSERT_EQ(run_program(VARNEL_BIN, again).status, 0);
    for (const char* name : outputs) EXPECT_EQ(again.read(name), fresh.read(name)) << name;
    EXPECT_TRUE(fs::is_symlink(again / "d2.dst"));
}

// Each failure: one line naming the file and the reason, status 1, and no
// output left behind that looks complete.
TEST(run, input_that_cannot_be_read) {
    scratch dir;
    fs::create_directory(dir / "input_file");
    outcome o = run_program(VARNEL_BIN, dir);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "\nCannot read input_file: Is a directory\n\n");
    EXPECT_FALSE(fs::exists(dir / "LZ_comp"));
}

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

TEST(run, distance_file_that_cannot_be_created_comes_after_the_prompt) {
    scratch dir;
    dir.write("input_file", three_records);
    fs::create_directory(dir / "d1.dst");
    dir.write("d4.dst", "2\rold run   0.000000 ");  // an earlier run's file must not pass for this one's
    outcome o = run_program(VARNEL_BIN, dir);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, three_records_console + "\nCannot create d1.dst: Is a directory\n\n");
    EXPECT_EQ(dir.read("LZ_comp").substr(0, 2), "3\n");  // the report came first and is complete
    EXPECT_TRUE(fs::is_directory(dir / "d1.dst"));
    EXPECT_FALSE(fs::exists(dir / "d2.dst"));
    EXPECT_FALSE(fs::exists(dir / "d4.dst"));
}

TEST(run, full_disk_while_writing_a_distance_file) {
    scratch dir;
    dir.write("input_file", three_records);
    fs::create_symlink("/dev/full", dir / "d3.dst");
    outcome o = run_program(VARNEL_BIN, dir);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, three_records_console + "\nCannot write d3.dst: No space left on device\n\n");
    EXPECT_TRUE(fs::exists(dir / "d2.dst"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "d3.dst")));  // the incomplete output is gone
    EXPECT_FALSE(fs::exists(dir / "d4.dst"));
}

}  // namespace
}  // namespace varnel::testing
