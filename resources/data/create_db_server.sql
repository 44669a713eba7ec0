CREATE TABLE DeviceType (
    id SERIAL PRIMARY KEY,
    name TEXT NOT NULL,
    connector TEXT NOT NULL
);

CREATE TABLE Users (
    id SERIAL PRIMARY KEY,
    firstname TEXT NOT NULL,
    middlename TEXT DEFAULT NULL,
    surname TEXT NOT NULL,
    department TEXT DEFAULT NULL,
    birthday TEXT COLLATE "C" NOT NULL,
    sex INTEGER NOT NULL DEFAULT 1,
    photo BYTEA DEFAULT NULL,
    access INTEGER NOT NULL DEFAULT 0,
    login TEXT DEFAULT NULL,
    password TEXT DEFAULT NULL,
    usageReason TEXT DEFAULT NULL,
    comment TEXT DEFAULT NULL,
    deviceId INTEGER DEFAULT NULL,
    deviceSerial INTEGER DEFAULT NULL,
    assignDate TEXT COLLATE "C" DEFAULT NULL
);

CREATE TABLE Groups (
    id SERIAL PRIMARY KEY,
    name TEXT NOT NULL,
    description TEXT DEFAULT NULL,
    access INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE Users2Groups (
    userId INTEGER NOT NULL,
    groupId INTEGER NOT NULL,
    PRIMARY KEY (userId, groupId)
);

CREATE TABLE Options (
    settings INTEGER NOT NULL,
    "interval" INTEGER NOT NULL DEFAULT 7,
    edColors BYTEA NOT NULL DEFAULT '\x00',
    medColors BYTEA NOT NULL
);

CREATE TABLE Thresholds (
    id SERIAL PRIMARY KEY,
    name TEXT NOT NULL,
    channel INTEGER NOT NULL,
    period INTEGER NOT NULL DEFAULT 7,
    value DOUBLE PRECISION NOT NULL DEFAULT 0.0001,
    isUser INTEGER NOT NULL DEFAULT 1
);

CREATE TABLE GroupThresholds (
    groupId INTEGER NOT NULL,
    thresholdId INTEGER NOT NULL,
    PRIMARY KEY (groupId, thresholdId)
);

CREATE TABLE Events (
    id SERIAL PRIMARY KEY,
    dateTime TEXT COLLATE "C" NOT NULL,
    userId INTEGER DEFAULT NULL,
    deviceId INTEGER NOT NULL,
    deviceSerial INTEGER NOT NULL,
    eventType INTEGER NOT NULL,
    value DOUBLE PRECISION DEFAULT NULL,
    medValue DOUBLE PRECISION DEFAULT NULL,
    channel INTEGER DEFAULT NULL,
    eventNumber INTEGER DEFAULT NULL,
    cyclicHistory INTEGER NOT NULL DEFAULT 0,
    timezoneChanged INTEGER NOT NULL DEFAULT 0,
    edThreshold INTEGER NOT NULL DEFAULT 0,
    medThreshold INTEGER NOT NULL DEFAULT 0,
    batteryLow INTEGER NOT NULL DEFAULT 0,
    memoryFault INTEGER NOT NULL DEFAULT 0,
    detectorFault INTEGER NOT NULL DEFAULT 0,
    hvFault INTEGER NOT NULL DEFAULT 0,
    comment TEXT DEFAULT NULL
);

CREATE UNIQUE INDEX idx_events_unique_tm4040 ON Events (userId, deviceId, deviceSerial, dateTime);

CREATE TABLE Service (
    version INTEGER NOT NULL DEFAULT 2
);

INSERT INTO Service (version) VALUES (2);

INSERT INTO Options (settings, "interval", edColors, medColors) VALUES (1, 7, '\x01ffff88887575fafa000001ffff7373ffff8989000001fffffefe81811e1e0000', '\x01ffff40400000f9f9000001ffff0000bfbf3030000001ffffc0c0404000000000');

INSERT INTO Groups (name, description, access) VALUES ('Администраторы', 'Начальная группа администраторов', 7);
INSERT INTO Groups (name, description, access) VALUES ('Операторы', 'Начальная группа операторов', 3);
INSERT INTO Groups (name, description, access) VALUES ('Пользователи', 'Начальная группа пользователей', 0);

INSERT INTO Users (firstname, surname, birthday, access, login, password, comment) VALUES ('Администратор', 'Administrator', '1982-06-26', 131, 'admin', 'tavro', 'Главный администратор программы');

INSERT INTO Users2Groups (userId, groupId) VALUES (1, 1);

INSERT INTO DeviceType (name, connector) VALUES ('КВР-ТМ4040', 'tm4040');
