#!/usr/bin/perl
# set-exe-version.pl EXE OLD NEW: rewrites the version resource of a Pesora.exe in place, from
# OLD to NEW (major.minor.patch each): the file and product version numbers, and the version
# texts when NEW is as long as OLD. The upgrade test uses it to make "the next release" out of
# this one without a second build.
use strict;
use warnings;

my ($exe, $old, $new) = @ARGV;
die "usage: set-exe-version.pl EXE OLD NEW\n" unless defined $new;
my @o = split /\./, $old;
my @n = split /\./, $new;
die "versions must be major.minor.patch\n" unless @o == 3 && @n == 3;

open my $in, '<:raw', $exe or die "$exe: $!\n";
my $bytes = do { local $/; <$in> };
close $in;

# VS_FIXEDFILEINFO: signature, structure version, then file version MS/LS and product version
# MS/LS, each MS = major << 16 | minor, LS = patch << 16 | 0 (the build number is 0).
my $signature = pack('V2', 0xFEEF04BD, 0x00010000);
my $at = index($bytes, $signature);
die "$exe: no version resource\n" if $at < 0;
my $oldFixed = pack('V4', ($o[0] << 16) | $o[1], $o[2] << 16, ($o[0] << 16) | $o[1], $o[2] << 16);
die "$exe: version resource is not $old\n" unless substr($bytes, $at + 8, 16) eq $oldFixed;
substr($bytes, $at + 8, 16) = pack('V4', ($n[0] << 16) | $n[1], $n[2] << 16, ($n[0] << 16) | $n[1], $n[2] << 16);

if (length($old) == length($new)) {
    my $wide = sub { join '', map { $_ . "\0" } split //, shift };
    my ($from, $to) = ($wide->($old) . "\0\0", $wide->($new) . "\0\0");
    my $count = ($bytes =~ s/\Q$from\E/$to/g);
    die "$exe: version texts not found\n" unless $count;
}

open my $out, '>:raw', $exe or die "$exe: $!\n";
print $out $bytes;
close $out or die "$exe: $!\n";
