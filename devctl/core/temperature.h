// Board temperature from the ADC input that serves as the temperature sensor.
#pragma once

// Whole degrees Celsius; 0 when the sensor gives no reading.
int ReadTemperature();

// The table lookup alone: the temperature of the row that holds raw, 0 when none does.
int TemperatureFromRaw(long raw);
