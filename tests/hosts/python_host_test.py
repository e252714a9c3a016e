"""A Python host on the C interface, against qx25-sim on a pseudo-terminal.

    python_host_test.py LIBRARY SIMULATOR
"""

import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import qx25  # noqa: E402

LIBRARY = SIMULATOR = None
PORT, NOZZLE, SIDE = 1, 1, 1
DELIVERY_CLOSED = 216
ACCEPTED = 1


class Simulated(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        line = os.path.join(cls.work.name, "line")
        cls.sim = subprocess.Popen(
            [SIMULATOR, "--link", line, "--flow-rate", "10", "--controllers", "1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        # It prints its line once it answers.
        cls.line = cls.sim.stdout.readline().strip()
        assert cls.line == line, "the simulator did not start"

    @classmethod
    def tearDownClass(cls):
        cls.sim.terminate()
        cls.sim.wait()
        cls.work.cleanup()

    def setUp(self):
        self.d = qx25.Driver(PORT, self.line, library=LIBRARY)
        self.addCleanup(self.d.close)

    def test_delivery_by_volume(self):
        d = self.d
        self.assertEqual(d.setup_port(PORT), 0)
        total_before, _ = d.get_total_counter(PORT, NOZZLE, SIDE)
        d.set_price(PORT, NOZZLE, SIDE, 0, 0, 52.30)
        d.preset_volume(PORT, NOZZLE, SIDE, 0, 2)
        self.assertEqual(d.port_status(PORT), ACCEPTED)
        d.start_pump(PORT, NOZZLE, SIDE)
        self.assertEqual(d.port_status(PORT), ACCEPTED)
        deadline = time.monotonic() + 20
        state = 0
        while state != DELIVERY_CLOSED and time.monotonic() < deadline:
            state = d.poll_nozzle(PORT, NOZZLE, 1).state
        self.assertEqual(state, DELIVERY_CLOSED)
        self.assertEqual(d.get_delivery_result(PORT, NOZZLE), (2.0, 104.6))
        total_after, _ = d.get_total_counter(PORT, NOZZLE, SIDE)
        self.assertAlmostEqual(total_after - total_before, 2.0, places=2)

    def test_parameter_written_reads_back(self):
        d = self.d
        d.set_par(PORT, NOZZLE, 15, 250)  # side 1, code 5
        self.assertEqual(d.get_param(PORT, NOZZLE, 15), 250)
        d.set_par(PORT, NOZZLE, 15, 251)
        self.assertEqual(d.get_param(PORT, NOZZLE, 15), 251)
        self.assertEqual(d._lib.qx25_last_error(), b"")

    def test_refused_arguments_raise_and_send_nothing(self):
        with self.assertRaisesRegex(qx25.QX25Error, "Port"):
            self.d.port_status(31)
        with self.assertRaisesRegex(qx25.QX25Error, "Номер колонки"):
            self.d.start_pump(PORT, 33, SIDE)
        # The next good call clears the message.
        self.assertEqual(self.d.port_status(PORT), 0)
        self.assertEqual(self.d._lib.qx25_last_error(), b"")

    def test_the_slot_zero_exception_arrives_as_a_python_one(self):
        with self.assertRaisesRegex(qx25.QX25Error, "abstract"):
            self.d._call("abstract")

    def test_table_object_is_the_driver(self):
        self.assertTrue(self.d.table_object)
        self.assertEqual(self.d.driver_info(), "v2.41#Протокол наливной Ж-4")


class DeadLine(unittest.TestCase):
    def test_a_missing_device_fails_with_the_commands_message(self):
        with tempfile.TemporaryDirectory() as work:
            with qx25.Driver(PORT, os.path.join(work, "none"), library=LIBRARY) as d:
                with self.assertRaisesRegex(qx25.QX25Error, "^Can't START POMP$"):
                    d.start_pump(PORT, NOZZLE, SIDE)
                with self.assertRaisesRegex(qx25.QX25Error, "Ошибка задания отпуска"):
                    d.preset_volume(PORT, NOZZLE, SIDE, 0, 5)
                self.assertNotEqual(d.port_status(PORT), ACCEPTED)

    def test_a_port_outside_the_tables_is_refused_at_open(self):
        with self.assertRaisesRegex(qx25.QX25Error, "Port 31"):
            qx25.Driver(31, "/dev/null", library=LIBRARY)


if __name__ == "__main__":
    LIBRARY, SIMULATOR = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
