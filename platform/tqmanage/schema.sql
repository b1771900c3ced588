-- Schema of the production database (libtqmanage). Idempotent: every
-- statement may be run again on a database that already holds it.
-- Texts are utf8mb4 with binary collation: names compare byte for byte, so
-- "Łukasz" and "łukasz" are two different workers.

CREATE TABLE IF NOT EXISTS workers (
  id          INT UNSIGNED NOT NULL AUTO_INCREMENT,
  first_name  VARCHAR(39)  NOT NULL,
  second_name VARCHAR(39)  NOT NULL,
  PRIMARY KEY (id),
  UNIQUE KEY worker_name (first_name, second_name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

-- One line of the shift plan of plan_date; id keeps the insertion order.
CREATE TABLE IF NOT EXISTS shift_lines (
  id          BIGINT UNSIGNED NOT NULL AUTO_INCREMENT,
  plan_date   DATE         NOT NULL,
  first_name  VARCHAR(39)  NOT NULL,
  second_name VARCHAR(39)  NOT NULL,
  workstation INT UNSIGNED NOT NULL,
  shift       INT UNSIGNED NOT NULL,
  PRIMARY KEY (id),
  KEY plan (plan_date),
  KEY worker_plan (first_name, second_name, plan_date)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

-- Registered (imported) worklogs; name_time is the name read as seconds
-- since 1970.
CREATE TABLE IF NOT EXISTS worklogs (
  name        CHAR(10)     NOT NULL,
  name_time   BIGINT       NOT NULL,
  PRIMARY KEY (name),
  KEY by_time (name_time)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

-- Samples; id keeps the import order. input_query serves the report's
-- query (one workstation, one date, a range of times of day, in time and
-- import order) from the index alone: it covers input too.
CREATE TABLE IF NOT EXISTS samples (
  id               BIGINT UNSIGNED NOT NULL AUTO_INCREMENT,
  production_group INT          NOT NULL,
  worklog          CHAR(10)     NOT NULL,
  sample_date      DATE         NOT NULL,
  time_of_day      TIME         NOT NULL,
  workstation      INT UNSIGNED NOT NULL,
  input            INT UNSIGNED NOT NULL,
  PRIMARY KEY (id),
  KEY input_query (workstation, sample_date, time_of_day, id, input),
  KEY by_worklog (worklog),
  CONSTRAINT sample_worklog FOREIGN KEY (worklog) REFERENCES worklogs (name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;
