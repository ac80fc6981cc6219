# The benchmark's charts, drawn from its CSV files beside them:
#   gnuplot -e "dir='build/bench/bench-results'" bench/charts.gnuplot
# verb_costs.png: each verb's cost, trace off, split into the host's own Java
# and the bridge's share; destination_lists.png: time per record as the lists
# grow; message_sizes.png: put and get time as messages grow.
if (!exists("dir")) dir = "."
set datafile separator ","
set terminal pngcairo size 960,540 font ",10" noenhanced
set grid ytics
set key top left

set output dir."/verb_costs.png"
set title "Per-verb cost, trace off (ns per call): the bridge's share and the host's own Java"
set style data histograms
set style histogram rowstacked
set style fill solid 0.8 border -1
set boxwidth 0.7
set xtics rotate by -30 left
set ylabel "ns per call"
# The empty native and the field read (the first two rows) are the units;
# their bars would not show.
plot dir."/verb_costs.csv" every ::3 using 5:xtic(1) title "bridge", \
     "" every ::3 using 4 title "host"

set output dir."/verb_fields.png"
set title "Per-verb cost, trace off, in field-access equivalents (one int field read through JNI = 1)"
set ylabel "field reads per call"
plot dir."/verb_costs.csv" every ::3 using 10:xtic(1) title "bridge", \
     "" every ::3 using ($9 - $10) title "host"

reset
set datafile separator ","
set terminal pngcairo size 960,540 font ",10" noenhanced
set grid
set key top left
set output dir."/destination_lists.png"
set title "Destination lists, trace off: time per record (the call's own cost spread over few records at the left)"
set key top right
set logscale xy
set xlabel "records in the list"
set ylabel "ns per record"
plot dir."/destination_lists.csv" using 1:3 with linespoints lw 2 title "_ZTOPEN", \
     "" using 1:5 with linespoints lw 2 title "_ZTPUT (message and response records)"

set output dir."/message_sizes.png"
set title "Message sizes, trace off: time per call"
set key top left
set logscale xy
set xlabel "message bytes"
set ylabel "us per call"
# A 0-byte message has no place on a logarithmic axis.
plot dir."/message_sizes.csv" using ($1 > 0 ? $1 : NaN):2 with linespoints lw 2 title "_ZTPUT", \
     "" using ($1 > 0 ? $1 : NaN):4 with linespoints lw 2 title "_ZTGET"

reset
set datafile separator ","
set terminal pngcairo size 960,540 font ",10" noenhanced
set grid
set output dir."/threads.png"
set title "Threads, each on its own connection and queue: warm 1 KiB put/get pairs"
set key top left
set xlabel "threads"
set xtics (1, 2, 4)
set ylabel "ns per pair, each thread"
set y2label "pairs per second, all threads"
set y2tics
set yrange [0:*]
set y2range [0:*]
plot dir."/threads.csv" using 1:2 axes x1y1 with linespoints lw 2 title "ns per pair, each thread", \
     "" using 1:5 axes x1y1 with linespoints lw 2 title "CPU ns per pair, each thread", \
     "" using 1:4 axes x1y2 with linespoints lw 2 title "pairs/s, all threads"

reset
set datafile separator ","
set terminal pngcairo size 960,540 font ",10" noenhanced
set grid ytics
set output dir."/cold_start.png"
set title "Member cache cold start: 8 threads meeting one class at once (release to last return)"
set style data histograms
set style fill solid 0.8 border -1
set boxwidth 0.6
set xrange [0.5:2.5]
set yrange [0:*]
set ylabel "us"
plot dir."/cold_start.csv" using 2:xtic(1) notitle
