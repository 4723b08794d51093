# Volatile memory loaded with unsigned 14-bit DAC codes (0 to 16383) as text: the form of
# ":DATA:DAC VOLATILE,<value>,<value>,..." whose instrument then outputs the volatile
# waveform by itself.
name: DATA:DAC VOLATILE, 14-bit unsigned values
points: 2..16384
encoding: ascii
codes: 0 16383
upload: :DATA:DAC VOLATILE,{values}
check: SYST:ERR?
