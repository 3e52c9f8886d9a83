-- The production database as the program uses it, for the test server
-- (PostgreSQL). psql variables: computer (this computer's network name) and
-- login (the current user).

CREATE TABLE computer (
  computer_id serial PRIMARY KEY,
  name        varchar(64) NOT NULL
);

CREATE TABLE operator (
  person_id   serial PRIMARY KEY,
  login       varchar(64) NOT NULL,
  operating   integer NOT NULL DEFAULT 1       -- 1 = active
);

CREATE TABLE plant (
  plant_id    serial PRIMARY KEY,
  type_id     integer NOT NULL,                -- 3 = meter programming
  computer_id integer NOT NULL
);

CREATE TABLE electrometer (
  electro_id  serial PRIMARY KEY,
  number      integer NOT NULL,                -- serial number
  type_id     integer NOT NULL                 -- 43 = this meter type
);

CREATE TABLE operation (
  operation_id serial PRIMARY KEY,
  type_id      integer NOT NULL,
  electro_id   integer NOT NULL REFERENCES electrometer(electro_id),
  plant_id     integer NOT NULL,
  person_id    integer NOT NULL,
  success      boolean NOT NULL
);

CREATE TABLE set_kelvar (
  operation_id integer PRIMARY KEY REFERENCES operation(operation_id),
  version      varchar(32),
  el_type      varchar(32),
  address      integer,
  baud         varchar(16),
  turn_on      varchar(32),
  status       integer,
  date_time    timestamp,
  summer       boolean,
  check_sum    integer,
  pass         varchar(16),
  t            double precision,
  count_day    integer,
  count_hour   integer,
  ncorrect     integer,
  indicator    double precision,
  time_integ   integer,
  ddm_a        integer,
  ddm_b        integer,
  ddm_c        integer,
  mode_tarif   integer,
  secperday    double precision
);

-- The program asks the server's clock the SQL Server way.
CREATE FUNCTION getdate() RETURNS timestamp
  LANGUAGE sql STABLE AS $$ SELECT LOCALTIMESTAMP(0) $$;

INSERT INTO computer(name) VALUES (:'computer');
INSERT INTO operator(login, operating) VALUES (:'login', 1);
INSERT INTO plant(type_id, computer_id)
  SELECT 3, computer_id FROM computer WHERE name = :'computer';
INSERT INTO electrometer(number, type_id) VALUES (1234, 43), (12345, 43), (4711, 43), (131071, 43), (555, 42);
